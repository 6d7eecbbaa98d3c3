// The shell-link object both the writer and the reader of links use.
#pragma once

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace platform::win32 {

// A new shell-link object and its file interface, COM entered on this thread
// first. False when either cannot be had; both are then null.
bool CreateShellLinkObject(IShellLinkW** Link, IPersistFile** File);

}  // namespace platform::win32
