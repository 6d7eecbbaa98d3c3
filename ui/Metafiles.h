// The records of a metafile a layout names, checked before the system plays
// it: the system's players trust a record's counts, offsets and object
// indices, so a damaged or hostile picture could make them read or write
// past the record. Only the drawing records a picture needs pass, each with
// every count and offset inside its record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Enhanced: an enhanced metafile (.emf); otherwise a Windows metafile (.wmf),
// with or without the 22-byte placeable head. False with the reason in Error.
bool CheckMetafile(const uint8_t* Data, size_t Size, bool Enhanced, std::string& Error);
