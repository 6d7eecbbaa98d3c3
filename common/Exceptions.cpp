#include "common/Exceptions.h"

#include "platform/Text.h"

ESetupError::ESetupError(std::string Message) : message_(std::move(Message)) {}

ESetupError::~ESetupError() = default;

const char* ESetupError::what() const noexcept { return message_.c_str(); }

void RaiseSetupError(std::initializer_list<std::string_view> Pieces) { throw ESetupError(platform::Concat(Pieces)); }
