#include "common/Exceptions.h"

ESetupError::ESetupError(std::string Message) : message_(std::move(Message)) {}

ESetupError::~ESetupError() = default;

const char* ESetupError::what() const noexcept { return message_.c_str(); }
