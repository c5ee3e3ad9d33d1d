// The handhelds' 8-bit names in the windows: shown as QString, and typed text encoded back
// (the conversions themselves are common/palm_text.h).
#pragma once

#include <QString>

#include <string>

#include "tarnhollow/common/palm_text.h"

namespace tarnhollow::editor {

inline QString ShownPalmText(const std::string &palm) {
    return QString::fromStdString(Utf8FromPalmText(palm));
}

inline PalmTextEncoding TypedPalmText(const QString &typed) {
    return PalmTextFromUtf8(typed.toStdString());
}

} // namespace tarnhollow::editor
