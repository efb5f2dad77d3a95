#include <gtest/gtest.h>

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace {

// The icons are compiled into the program and drawn by Qt's SVG icon engine; either missing
// leaves the windows with blank icons and no error.
TEST(Icons, AreBuiltInAndDrawAtWindowIconSizes) {
  struct Case {
    const char* resource;
    QColor centre;  // a colour the picture must have somewhere near its middle
  };
  const Case cases[] = {
      {":/icons/vorlet.svg", QColor(0xc0, 0xc0, 0xc0)},  // the grey button face
      {":/icons/stop.svg", QColor(0xd0, 0x10, 0x1a)},    // the red of the sign
  };
  for (const Case& c : cases) {
    for (const int size : {16, 32}) {
      SCOPED_TRACE(std::string(c.resource) + " at " + std::to_string(size));
      const QIcon icon(c.resource);
      const QImage image = icon.pixmap(size, size).toImage();
      ASSERT_FALSE(image.isNull());
      ASSERT_EQ(image.width(), size);
      bool found = false;
      for (int y = size / 4; y < size * 3 / 4 && !found; ++y)
        for (int x = size / 8; x < size / 4 && !found; ++x)
          found = image.pixelColor(x, y).rgb() == c.centre.rgb();
      EXPECT_TRUE(found);
    }
  }
}

}  // namespace
