// The shape list against the recording display: order, hit test, removal, moving and
// resizing, ownership and allocation failure. Built with the sanitizers on the host, where a
// leak, a double release or a use after release fails the run.
#include "editor/shape_list.h"
#include "editor/shapes.h"

#include "alloc_failure.h"
#include "fake_display.h"

#include <gtest/gtest.h>

#include <climits>

using Calls = std::vector<std::string>;

namespace {

std::vector<int> g_released; // ids of TrackedShapes in the order they were destroyed

// A rectangle that notes its release; the id is its colour, so drawing shows which it is.
class TrackedShape : public RectShape {
  public:
    TrackedShape(int id, int x1, int y1, int x2, int y2) : id(id) {
        setX1(x1);
        setY1(y1);
        setX2(x2);
        setY2(y2);
        setColor(id);
    }
    ~TrackedShape() override { g_released.push_back(id); }

  private:
    int id;
};

// The colours (ids) drawAll draws, in order.
std::vector<int> drawn_ids(const ShapeList &list, GraphicsDisplay &display) {
    g_display_calls.clear();
    list.drawAll(display);
    std::vector<int> ids;
    for (const std::string &call : g_display_calls) {
        int x1, y1, x2, y2, color, width;
        if (sscanf(call.c_str(), "rect %d %d %d %d %d %d", &x1, &y1, &x2, &y2, &color, &width) ==
                6 &&
            width == 0)
            ids.push_back(color);
    }
    return ids;
}

} // namespace

class ShapeListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_fake_display();
        g_released.clear();
    }
    GraphicsDisplay display;

    // Adds shapes 1, 2, 3 (3 newest), side by side, 20 wide and 20 high.
    void addThree(ShapeList &list, Shape *(&shapes)[3]) {
        for (int i = 0; i < 3; ++i) {
            shapes[i] = new TrackedShape(i + 1, 100 * i, 20, 100 * i + 20, 0);
            list.pushFront(shapes[i]);
        }
    }
};

TEST_F(ShapeListTest, PushFrontKeepsNewestFirstAndDrawAllFollowsIt) {
    ShapeList list;
    EXPECT_EQ(list.front(), nullptr);
    EXPECT_TRUE(drawn_ids(list, display).empty());
    Shape *shapes[3];
    addThree(list, shapes);
    EXPECT_EQ(list.addedCount(), 3);
    EXPECT_EQ(list.front()->shape, shapes[2]);
    EXPECT_EQ(drawn_ids(list, display), (std::vector<int>{3, 2, 1}));

    list.pushFront(nullptr); // ignored: no node, no count
    EXPECT_EQ(list.addedCount(), 3);
    EXPECT_EQ(list.front()->shape, shapes[2]);
}

TEST_F(ShapeListTest, FindAtNeedsTheBoxToContainThePointStrictly) {
    ShapeList list;
    EXPECT_EQ(list.findAt(0, 0), nullptr);

    Shape *box = new TrackedShape(1, -10, 10, 10, -10);
    list.pushFront(box);
    EXPECT_EQ(list.findAt(0, 0), box);
    EXPECT_EQ(list.findAt(-9, 9), box);
    EXPECT_EQ(list.findAt(9, -9), box);
    for (auto [x, y] : {std::pair{-10, 0}, {10, 0}, {0, 10}, {0, -10}, {-10, 10}, {10, -10}})
        EXPECT_EQ(list.findAt(x, y), nullptr) << "edge point (" << x << "," << y << ")";
    EXPECT_EQ(list.findAt(11, 0), nullptr);

    // Corners not upper-left then lower-right: drawn, but never found.
    ShapeList reversed;
    reversed.pushFront(new TrackedShape(2, 10, 10, -10, -10)); // x reversed
    reversed.pushFront(new TrackedShape(3, -10, -10, 10, 10)); // y reversed
    reversed.pushFront(new TrackedShape(4, 10, -10, -10, 10)); // both
    reversed.pushFront(new TrackedShape(5, 0, 10, 0, -10));    // no width
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {-1, -1}, {5, -5}})
        EXPECT_EQ(reversed.findAt(x, y), nullptr) << "(" << x << "," << y << ")";
    EXPECT_EQ(drawn_ids(reversed, display), (std::vector<int>{5, 4, 3, 2}));
}

TEST_F(ShapeListTest, OverlapFindsTheNewerShapeWhileTheOlderIsDrawnOnTop) {
    ShapeList list;
    Shape *older = new TrackedShape(1, -50, 50, 50, -50);
    Shape *newer = new TrackedShape(2, 0, 20, 100, -20);
    list.pushFront(older);
    list.pushFront(newer);
    EXPECT_EQ(list.findAt(10, 0), newer);
    EXPECT_EQ(list.findAt(-10, 0), older);
    EXPECT_EQ(drawn_ids(list, display), (std::vector<int>{2, 1})); // older drawn last
}

TEST_F(ShapeListTest, RemoveUnlinksOneShapeAndLeavesTheRestInOrder) {
    struct Case {
        int remove;
        std::vector<int> left;
    };
    for (const Case &c : {Case{2, {2, 1}}, Case{1, {3, 1}}, Case{0, {3, 2}}}) {
        ShapeList list;
        Shape *shapes[3];
        addThree(list, shapes);
        list.remove(shapes[c.remove]);
        EXPECT_EQ(drawn_ids(list, display), c.left) << "removing shape " << c.remove + 1;
        EXPECT_EQ(list.findAt(100 * c.remove + 10, 10), nullptr);
        EXPECT_EQ(list.addedCount(), 3);
    }
}

TEST_F(ShapeListTest, RemoveOfNullOrOfAShapeNotHeldChangesNothing) {
    ShapeList empty;
    RectShape stranger;
    empty.remove(nullptr);
    empty.remove(&stranger);
    EXPECT_EQ(empty.front(), nullptr);

    ShapeList list;
    Shape *shapes[3];
    addThree(list, shapes);
    list.remove(nullptr);
    list.remove(&stranger);
    list.remove(shapes[1]);
    list.remove(shapes[1]); // a second time: no longer held
    EXPECT_EQ(drawn_ids(list, display), (std::vector<int>{3, 1}));
}

TEST_F(ShapeListTest, ARemovedShapeStaysUsableAndIsReleasedOnlyWithTheList) {
    {
        ShapeList list;
        Shape *shapes[3];
        addThree(list, shapes);
        list.remove(shapes[1]);
        list.remove(shapes[2]);
        EXPECT_TRUE(g_released.empty());

        // The editor may still point at a removed shape: it stays a valid object, and the
        // list no longer draws it, finds it, moves it or resizes it.
        shapes[1]->setSelected(1);
        g_display_calls.clear();
        shapes[1]->draw(display);
        EXPECT_EQ(g_display_calls, (Calls{"rect 100 20 120 0 2 0", "rect 100 20 120 0 3 1"}));
        list.moveTo(shapes[1], 0, 0);
        list.resizeTo(shapes[1], 0, 0);
        EXPECT_EQ(shapes[1]->getX1(), 100);
        EXPECT_EQ(shapes[1]->getY1(), 20);
        EXPECT_EQ(drawn_ids(list, display), (std::vector<int>{1}));
    }
    // Held shapes newest first, then the removed ones.
    EXPECT_EQ(g_released, (std::vector<int>{1, 3, 2}));
}

TEST_F(ShapeListTest, DestructorReleasesEveryShapeNewestFirst) {
    {
        ShapeList list;
        Shape *shapes[3];
        addThree(list, shapes);
    }
    EXPECT_EQ(g_released, (std::vector<int>{3, 2, 1}));
}

TEST_F(ShapeListTest, MoveToPutsTheFirstCornerAtThePointAndKeepsTheSignedSize) {
    ShapeList list;
    Shape *normal = new TrackedShape(1, -10, 20, 30, -40);   // width 40, height 60
    Shape *reversed = new TrackedShape(2, 30, -40, -10, 20); // width -40, height -60
    list.pushFront(normal);
    list.pushFront(reversed);
    list.moveTo(normal, 100, 100);
    list.moveTo(reversed, -100, -100);
    EXPECT_EQ(
        (std::vector<int>{normal->getX1(), normal->getY1(), normal->getX2(), normal->getY2()}),
        (std::vector<int>{100, 100, 140, 40}));
    EXPECT_EQ((std::vector<int>{reversed->getX1(), reversed->getY1(), reversed->getX2(),
                                reversed->getY2()}),
              (std::vector<int>{-100, -100, -140, -40}));
    EXPECT_EQ(list.findAt(120, 70), normal);

    // Far-out corners saturate instead of overflowing.
    list.moveTo(normal, INT_MAX, INT_MIN);
    EXPECT_EQ(normal->getX2(), INT_MAX);
    EXPECT_EQ(normal->getY2(), INT_MIN);

    RectShape stranger;
    list.moveTo(&stranger, 5, 5);
    list.moveTo(nullptr, 5, 5);
    EXPECT_EQ(stranger.getX1(), 0);
}

TEST_F(ShapeListTest, ResizeToMovesOnlyTheFirstCornerEvenPastTheSecond) {
    ShapeList list;
    Shape *shape = new TrackedShape(1, -10, 20, 30, -40);
    list.pushFront(shape);
    list.resizeTo(shape, 0, 0);
    EXPECT_EQ((std::vector<int>{shape->getX1(), shape->getY1(), shape->getX2(), shape->getY2()}),
              (std::vector<int>{0, 0, 30, -40}));
    EXPECT_EQ(list.findAt(15, -20), shape);

    list.resizeTo(shape, 50, -60); // past the second corner: stored reversed, never found
    EXPECT_EQ((std::vector<int>{shape->getX1(), shape->getY1(), shape->getX2(), shape->getY2()}),
              (std::vector<int>{50, -60, 30, -40}));
    EXPECT_EQ(list.findAt(40, -50), nullptr);
    EXPECT_EQ(drawn_ids(list, display), (std::vector<int>{1}));
}

TEST_F(ShapeListTest, ANodeThatCannotBeAllocatedMakesNoEntryAndReleasesTheShape) {
    ShapeList list;
    list.pushFront(new TrackedShape(1, 0, 10, 10, 0));
    {
        FailNothrowAllocation fail(1);
        list.pushFront(new TrackedShape(2, 0, 10, 10, 0));
        EXPECT_EQ(fail.seen(), 1);
    }
    EXPECT_EQ(g_released, (std::vector<int>{2}));
    EXPECT_EQ(list.addedCount(), 1);
    EXPECT_EQ(drawn_ids(list, display), (std::vector<int>{1}));
    list.pushFront(new TrackedShape(3, 0, 10, 10, 0)); // and the list carries on
    EXPECT_EQ(drawn_ids(list, display), (std::vector<int>{3, 1}));
}
