// The picture's placement in a window of any size and the pointer mapped through it; the
// keyboard's and gamepads' pointer; the display settings file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "host/display_fit.h"
#include "host/host_settings.h"
#include "host/virtual_pointer.h"
#include "support/test_pack.h"

namespace {

struct Placement {
  int32_t out_w, out_h, win_w, win_h;  // the window in physical pixels and in its own units
  int32_t scale, x, y;
  int32_t wx, wy;            // a pointer position in window units...
  bool inside;               // ...over the picture?
  int32_t touch_x, touch_y;  // the virtual pixel the touch handling makes of it
};

TEST(DisplayFit, LargestWholeScaleCentredAndThePointerMappedBack) {
  for (const Placement& c : std::vector<Placement>{
           {480, 640, 480, 640, 2, 0, 0, 101, 201, true, 50, 100},  // the default window: as ever
           {480, 640, 480, 640, 2, 0, 0, -7, 900, true, 0, 319},    // outside: the nearest edge
           {1000, 1000, 1000, 1000, 3, 140, 20, 140 + 3 * 120 + 2, 20 + 3 * 113, true, 120, 113},
           {1000, 1000, 1000, 1000, 3, 140, 20, 139, 500, false, 0, 0},  // the bars
           {1000, 1000, 1000, 1000, 3, 140, 20, 860, 500, false, 0, 0},
           {1920, 1080, 1920, 1080, 3, 600, 60, 600 + 3 * 239 + 2, 60 + 3 * 319 + 2, true, 239, 319},
           {960, 1280, 480, 640, 4, 0, 0, 101, 201, true, 50, 100},  // a 2x desktop: 4 physical pixels
           // Below 1x: the whole picture shrunk to fit, centred, every corner within reach.
           {200, 300, 200, 300, 1, 0, 17, 0, 16, false, 0, 0},
           {200, 300, 200, 300, 1, 0, 17, 199, 282, true, 239, 319},
           {200, 200, 200, 200, 1, 25, 0, 24, 100, false, 0, 0},
           {200, 200, 200, 200, 1, 25, 0, 25, 0, true, 0, 0},
           {200, 200, 200, 200, 1, 25, 0, 174, 199, true, 239, 319},
           {200, 200, 200, 200, 1, 25, 0, 100, 72, true, 120, 116},  // GAME START
           {400, 160, 400, 160, 1, 140, 0, 259, 159, true, 239, 319},
           {120, 160, 120, 160, 1, 0, 0, 61, 0, true, 123, 1},  // half size: the centre's pixel
       }) {
    SCOPED_TRACE(testing::Message() << c.out_w << "x" << c.out_h << " at (" << c.wx << "," << c.wy << ")");
    const DisplayFit f = display_fit(c.out_w, c.out_h, c.win_w, c.win_h);
    EXPECT_EQ(f.scale, c.scale);
    EXPECT_EQ(f.x, c.x);
    EXPECT_EQ(f.y, c.y);
    int32_t cx = -1;
    int32_t cy = -1;
    ASSERT_EQ(display_pointer(f, c.wx, c.wy, &cx, &cy), c.inside);
    if (c.inside) {
      EXPECT_EQ(cx * 24000 / 480 / 100, c.touch_x);  // the touch handling's scaling of 480 x 640
      EXPECT_EQ(cy * 32000 / 640 / 100, c.touch_y);
    }
  }
}

// Frames until held keys or a stick take the pointer from the left edge to the right one.
int frames_to_cross(uint8_t dirs, int32_t stick_x) {
  VirtualPointer p;
  vpointer_reset(&p);
  vpointer_follow_mouse(&p, 0, 320);
  static HostEventQueue q;
  int frames = 0;
  for (; vpointer_x(&p) < 239 && frames < 1000; ++frames) {
    events_clear(&q);
    p.dirs = dirs;
    p.stick_x = stick_x;
    vpointer_frame(&p, &q);
  }
  return frames;
}

TEST(VirtualPointer, ATapPlacesToThePixelAndHoldingCrossesTheScreenInAboutHalfASecond) {
  VirtualPointer p;
  vpointer_reset(&p);
  HostEventQueue q{};
  for (int f = 0; f < 7; ++f) {  // a tap of 6 frames: one pixel, where the game learns of it
    p.dirs = f < 6 ? VP_RIGHT : 0;
    vpointer_frame(&p, &q);
  }
  HostEvent e{};
  ASSERT_TRUE(events_pop(&q, &e));
  EXPECT_EQ(e.ev, NoxEvent::PointerMove);
  EXPECT_EQ(e.x, 2 * 121);
  EXPECT_EQ(e.y, 2 * 160);
  EXPECT_FALSE(events_pop(&q, &e));
  EXPECT_TRUE(p.active);
  EXPECT_GE(frames_to_cross(VP_RIGHT, 0), 25);
  EXPECT_LE(frames_to_cross(VP_RIGHT, 0), 40);
  EXPECT_EQ(frames_to_cross(0, 32767), 24);
  EXPECT_EQ(frames_to_cross(0, VP_STICK_DEAD_ZONE), 1000);  // at rest in the dead zone: no drift
  const int slow = frames_to_cross(0, 12000);                // a slight tilt creeps along
  EXPECT_GT(slow, 500);
  EXPECT_LT(slow, 1000);
}

TEST(HostSettings, SavedSettingsComeBackAndADamagedFileGivesTheDefault) {
  TempWorkDir dir;
  HostSettings s{};
  char why[128] = "";
  EXPECT_EQ(host_settings_load(HOST_SETTINGS_FILE, &s, why, sizeof why), SettingsLoad::Missing);
  ASSERT_EQ(host_settings_save(HOST_SETTINGS_FILE, HostSettings{1, 5}), 0);
  EXPECT_EQ(host_settings_load(HOST_SETTINGS_FILE, &s, why, sizeof why), SettingsLoad::Loaded);
  EXPECT_EQ(s, (HostSettings{1, 5}));
  for (const std::string& text : {std::string("mode window\r\nscale 0\r\n"), std::string("mode big\nscale 3\n"),
                                  std::string("mode window\n"), std::string("mode window\nscale 3\nscale 4\n"),
                                  std::string(2000, '#'), std::string("mode window\0scale 3\n", 20)}) {
    std::ofstream(HOST_SETTINGS_FILE, std::ios::binary) << text;
    why[0] = 0;
    EXPECT_EQ(host_settings_load(HOST_SETTINGS_FILE, &s, why, sizeof why), SettingsLoad::Damaged) << text;
    EXPECT_EQ(s, HOST_SETTINGS_DEFAULT) << text;
    EXPECT_NE(why[0], 0) << text;
  }
  std::ofstream(HOST_SETTINGS_FILE) << "# by hand\n  scale 4  \n\nmode fullscreen\n";
  EXPECT_EQ(host_settings_load(HOST_SETTINGS_FILE, &s, why, sizeof why), SettingsLoad::Loaded);
  EXPECT_EQ(s, (HostSettings{1, 4}));
}

}  // namespace
