// The program's own artwork, drawn in code: the 320 x 86 banner of the dialogs and the icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace ostervane::ui {

inline constexpr int kBannerWidth = 320;
inline constexpr int kBannerHeight = 86;

QPixmap BannerPixmap();
QPixmap IconPixmap(int size);
QIcon ProgramIcon();

} // namespace ostervane::ui
