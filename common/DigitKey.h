// Additive digit-key scrambling: byte i of a text is shifted by key digit
// (i mod key length), modulo 256. Used by the uninstall log and the patch
// commands, each with a fixed key of its own.
#pragma once

#include <string>

std::string AddDigitKey(const std::string& Key, const std::string& Text);
std::string SubDigitKey(const std::string& Key, const std::string& Text);
