// Message boxes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Errors.h"

namespace platform {

constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbOkCancel = 0x01;
constexpr uint32_t kMbYesNo = 0x04;
constexpr uint32_t kMbRetryCancel = 0x05;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdRetry = 4;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Shows a message box with no owner; returns the button chosen.
int MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags);
int MessageBoxWide(const WideString& Text, const WideString& Caption, uint32_t Flags);

}  // namespace platform
