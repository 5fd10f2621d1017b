#pragma once

// Marks a user-visible text for translation where it is written, without any
// toolkit: the mark leaves the text as it is. lupdate reads
// PEMBLOR_TR_NOOP(context, text) as QT_TRANSLATE_NOOP (see its options in
// gui/CMakeLists.txt) and puts the text into the catalogue; the Qt
// layer looks it up where it shows it. Every mark uses the one context
// kTextContext, since the Qt layer looks up whatever text reaches it there.
#define PEMBLOR_TR_NOOP(context, text) text

#include "engine/FunctionRef.h"

#include <string>

namespace pemblor {

inline constexpr const char* kTextContext = "Pemblor";

// Looks up the translation of a marked text (the window passes the Qt
// layer's catalogue lookup, TranslatedText in gui/QtTranslation.h); the
// default keeps the source texts (pemblorctl, tests). Texts composed from
// pieces (a number or a name put in) are composed from the translated
// format, so the window shows them as they come.
using TextLookup = FunctionRef<std::string(const char*)>;
inline constexpr auto kSourceText = [](const char* text) { return std::string(text); };

} // namespace pemblor
