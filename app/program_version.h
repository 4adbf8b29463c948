#pragma once

namespace kestrune {

/// The program's version, as its Windows version resource gives it ("0.1.0").
const char* ProgramVersion();

}  // namespace kestrune
