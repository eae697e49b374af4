#include "platform/WindowCentring.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <climits>

#include "tests/platform/PtyHelpers.h"

namespace ombrel {
namespace {

struct Case {
    WindowRectangle rectangle;
    WindowSize size;
    int x;
    int y;
};

TEST(WindowCentring, CentresOnTheFrontEndsWindow) {
    // Each expected value worked by hand from x = left + ((right - left) - w) / 2, truncating.
    const Case cases[] = {
        {{100, 200, 500, 800}, {660, 340}, 170, 130},    // window wider than the rectangle
        {{0, 0, 101, 201}, {100, 50}, 50, 25},           // odd differences: 101/2 = 50, 51/2 = 25
        {{100, 200, 500, 800}, {661, 341}, 170, 129},    // -61/2 = -30 (not -31); 59/2 = 29
        {{-100, -100, -50, -50}, {53, 51}, -101, -100},  // -3/2 = -1, -1/2 = 0
        {{0, 0, 1, 1}, {1, 1}, 0, 0},
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {1, 1}, -1, -1},  // differences beyond int
    };
    for (const Case& c : cases) {
        std::optional<WindowPosition> position = CentreWindow(c.rectangle, c.size);
        ASSERT_TRUE(position.has_value()) << c.rectangle.left << "," << c.rectangle.right;
        EXPECT_EQ(c.x, position->x) << c.rectangle.left << "," << c.rectangle.right;
        EXPECT_EQ(c.y, position->y) << c.rectangle.top << "," << c.rectangle.bottom;
    }
}

TEST(WindowCentring, LeavesTheWindowWhereItIsForInvalidRectanglesOrUnknownSizes) {
    EXPECT_FALSE(CentreWindow({100, 200, 100, 800}, {660, 340}));  // top == bottom
    EXPECT_FALSE(CentreWindow({100, 800, 500, 800}, {660, 340}));  // left == right
    EXPECT_FALSE(CentreWindow({500, 200, 100, 800}, {660, 340}));  // top > bottom
    EXPECT_FALSE(CentreWindow({100, 800, 500, 200}, {660, 340}));  // left > right
    EXPECT_FALSE(CentreWindow({100, 200, 500, 800}, {0, 340}));
    EXPECT_FALSE(CentreWindow({100, 200, 500, 800}, {660, 0}));
    // The position itself would not fit an int: INT_MIN + (1 - INT_MAX) / 2.
    EXPECT_FALSE(CentreWindow({0, INT_MIN, 10, INT_MIN + 1}, {INT_MAX, 1}));
}

TEST(WindowCentring, ReadsFourDecimalIntegersFromTheCommandLine) {
    std::optional<WindowPosition> position = CentreOnRectangle({"100", "200", "500", "800"}, {660, 340});
    ASSERT_TRUE(position);
    EXPECT_EQ(170, position->x);
    EXPECT_EQ(130, position->y);

    std::optional<WindowRectangle> rectangle = ParseWindowRectangle({" -5", "+7", "12 ", "-0", "extra"});
    ASSERT_TRUE(rectangle);
    EXPECT_EQ(-5, rectangle->top);
    EXPECT_EQ(7, rectangle->left);
    EXPECT_EQ(12, rectangle->bottom);
    EXPECT_EQ(0, rectangle->right);
}

TEST(WindowCentring, AnythingButFourIntegersMeansNoMove) {
    EXPECT_FALSE(ParseWindowRectangle({}));
    EXPECT_FALSE(ParseWindowRectangle({"100", "200", "500"}));
    EXPECT_FALSE(ParseWindowRectangle({"100", "200", "500", "x"}));
    EXPECT_FALSE(ParseWindowRectangle({"100", "200", "500", "800abc"}));
    EXPECT_FALSE(ParseWindowRectangle({"100", "200", "", "800"}));
    EXPECT_FALSE(ParseWindowRectangle({"100", "200", "500", "2147483648"}));
    EXPECT_FALSE(ParseWindowRectangle({"100", "200", "500", "8.5"}));
    EXPECT_FALSE(CentreOnRectangle({"100", "200", "500"}, {660, 340}));
    EXPECT_FALSE(CentreOnRectangle({"100", "200", "100", "800"}, {660, 340}));
}

TEST(WindowCentring, TerminalPixelSizeIsUnknownWhenReportedAsZero) {
    test::Pty pty;
    ASSERT_TRUE(pty.Ok());
    winsize window{};
    window.ws_row = 25;
    window.ws_col = 80;
    ASSERT_EQ(0, ioctl(pty.master, TIOCSWINSZ, &window));
    EXPECT_FALSE(TerminalPixelSize(pty.slave));

    window.ws_xpixel = 660;
    window.ws_ypixel = 340;
    ASSERT_EQ(0, ioctl(pty.master, TIOCSWINSZ, &window));
    std::optional<WindowSize> size = TerminalPixelSize(pty.slave);
    ASSERT_TRUE(size);
    EXPECT_EQ(660, size->width);
    EXPECT_EQ(340, size->height);

    test::Pipe pipe;
    EXPECT_FALSE(TerminalPixelSize(pipe.readEnd));
}

}  // namespace
}  // namespace ombrel
