#include <gtest/gtest.h>

#include <vector>

#include "common/unique_resource.h"

namespace pellux {
namespace {

std::vector<int> g_closed;

struct CountingTraits {
  using pointer = int;
  static pointer Invalid() noexcept { return 0; }
  static void Close(pointer p) noexcept { g_closed.push_back(p); }
};
using Counted = UniqueResource<CountingTraits>;

class UniqueResourceTest : public ::testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueResourceTest, ClosesOnceAtScopeEnd) {
  { Counted r(7); }
  EXPECT_EQ(g_closed, std::vector<int>{7});
}

TEST_F(UniqueResourceTest, InvalidValueIsNeverClosed) {
  {
    Counted r;
    Counted z(0);
    EXPECT_FALSE(r);
    EXPECT_FALSE(z);
  }
  EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueResourceTest, MoveHandsOverWithoutClosing) {
  {
    Counted a(3);
    Counted b(std::move(a));
    EXPECT_TRUE(g_closed.empty());
    EXPECT_FALSE(a.valid());  // NOLINT(bugprone-use-after-move): a moved-from handle must be empty
    EXPECT_EQ(b.get(), 3);
    Counted c(9);
    c = std::move(b);  // c's 9 is closed, 3 moves in
    EXPECT_EQ(g_closed, std::vector<int>{9});
  }
  EXPECT_EQ(g_closed, (std::vector<int>{9, 3}));
}

TEST_F(UniqueResourceTest, SelfMoveKeepsTheValue) {
  {
    Counted a(4);
    Counted& alias = a;
    a = std::move(alias);
    EXPECT_EQ(a.get(), 4);
  }
  EXPECT_EQ(g_closed, std::vector<int>{4});
}

TEST_F(UniqueResourceTest, ResetClosesTheOldValueOnly) {
  Counted a(1);
  a.reset(2);
  EXPECT_EQ(g_closed, std::vector<int>{1});
  a.reset();
  EXPECT_EQ(g_closed, (std::vector<int>{1, 2}));
  a.reset();
  EXPECT_EQ(g_closed.size(), 2u);
}

TEST_F(UniqueResourceTest, ReleaseGivesUpOwnership) {
  int raw;
  {
    Counted a(5);
    raw = a.release();
  }
  EXPECT_EQ(raw, 5);
  EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueResourceTest, PutClosesBeforeTheOutParameterIsFilled) {
  Counted a(6);
  *a.put() = 8;
  EXPECT_EQ(g_closed, std::vector<int>{6});
  EXPECT_EQ(a.get(), 8);
}

}  // namespace
}  // namespace pellux
