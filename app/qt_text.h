#pragma once

// Conversions between the wizard's wide text (LBString, UTF-16) and Qt's QString (UTF-16).
// Any thread.

#include <QString>

#include "sdk/LBString.h"

inline QString ToQString(const LBString& text) {
    return QString::fromUtf16(text.GetString(), text.GetLength());
}

inline QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

inline LBString ToLBString(const QString& text) {
    return LBString::FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}
