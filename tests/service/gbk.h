// Test helper: the narrow (GBK) form of a UTF-8 text, as the service writes it.
#pragma once

#include <string>

#include "platform/codepage.h"

inline std::string G(const std::string& utf8) { return duvane::platform::Utf8ToAnsi(utf8); }
