// The platform's error codes and the UTF-16 text type every service uses:
// every failing call leaves a Windows error code behind for its thread.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// UTF-16 text, one code unit per element, on every target.
using WideString = std::u16string;

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorOutOfMemory = 14;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
// A write or delete refused because its path passes through a symbolic link
// or reparse point inside a confined folder (see WriteConfinement).
constexpr uint32_t kErrorLinkInPath = 681;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorKeyDeleted = 1018;

uint32_t LastError();
void SetLastError(uint32_t Code);
// The system's message text for an error code, without a trailing line break.
std::string ErrorText(uint32_t Code);
// "access denied (5)": the message text and the code, for error messages.
std::string DescribeError(uint32_t Code);

}  // namespace platform
