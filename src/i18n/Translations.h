// SPDX-License-Identifier: MIT
#pragma once

// The program's words in the operator's language: its own catalogue, built into the program,
// and Qt's catalogues for the texts Qt itself shows (standard buttons, --help's frame).
namespace Translations {
// For the default locale, which is the system's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) unless
// set otherwise. Needs the application object. False when the program has no catalogue for the
// language, and speaks English.
bool install();
} // namespace Translations
