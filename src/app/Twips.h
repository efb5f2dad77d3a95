#pragma once

#include <QRect>

namespace vorlet::app {

// Layouts are given in twips; at 96 dots per inch a pixel is 15 twips. Qt scales pixels on
// high-DPI screens.
constexpr int twips(int value) {
  return value / 15;
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
  return {twips(left), twips(top), twips(width), twips(height)};
}

}  // namespace vorlet::app
