#pragma once

// Marks a user-visible text for translation where it is written, without any
// toolkit: the mark leaves the text as it is. lupdate reads
// PEMBLOR_TR_NOOP(context, text) as QT_TRANSLATE_NOOP (see its options in
// toolkit/qt/CMakeLists.txt) and puts the text into the catalogue; the Qt
// layer looks it up where it shows it. Every mark uses the one context
// kTextContext, since the Qt layer looks up whatever text reaches it there.
#define PEMBLOR_TR_NOOP(context, text) text

namespace pemblor {

inline constexpr const char* kTextContext = "Pemblor";

} // namespace pemblor
