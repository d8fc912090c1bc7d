#include "run/pointer_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Items are fake pointers named by a letter; the list never dereferences them.
void* Item(char name) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<unsigned char>(name)));
}

char Name(const void* item) {
  return item == nullptr ? '-' : static_cast<char>(reinterpret_cast<uintptr_t>(item));
}

// Every block goes through these hooks, so each test can fail allocations,
// see the blocks released and check that none is left.
struct HeapWatch {
  int allocsLeft = -1;  // below 0: no limit
  int live = 0;
  std::vector<const void*> lists;  // live blocks that PtrListNew returned
  std::vector<PtrList> freedLists;
  std::vector<PtrListLink> freedLinks;
};
HeapWatch gHeap;

void* WatchedAlloc(size_t size) {
  if (gHeap.allocsLeft == 0) {
    return nullptr;
  }
  if (gHeap.allocsLeft > 0) {
    --gHeap.allocsLeft;
  }
  ++gHeap.live;
  return malloc(size);
}

void WatchedRelease(void* block) {
  --gHeap.live;
  // A freed list's address may come back as a link, so it is forgotten here.
  auto list = std::find(gHeap.lists.begin(), gHeap.lists.end(), block);
  if (list != gHeap.lists.end()) {
    gHeap.lists.erase(list);
    gHeap.freedLists.push_back(*static_cast<PtrList*>(block));
  } else {
    gHeap.freedLinks.push_back(*static_cast<PtrListLink*>(block));
  }
  free(block);
}

// Records each offer as "<name><index> " and selects the items named in `select`.
struct Probe {
  const char* select = "";
  std::string offered;
};

int32_t Offer(void* item, int32_t index, void* context) {
  auto* probe = static_cast<Probe*>(context);
  probe->offered += Name(item) + std::to_string(index) + " ";
  return strchr(probe->select, Name(item)) != nullptr ? 0 : 1;
}

bool IsPoisoned(const PtrListLink& link) {
  const void* marker = kPtrListFreedMarker;
  return link.item == marker && link.towardFront == marker && link.towardBack == marker;
}

class PointerList : public testing::Test {
 protected:
  void SetUp() override {
    gHeap = HeapWatch();
    PtrListSetAllocHooks(WatchedAlloc, WatchedRelease);
  }
  void TearDown() override {
    PtrListSetAllocHooks(nullptr, nullptr);
    EXPECT_EQ(gHeap.live, 0) << "blocks leaked";
    for (const PtrListLink& link : gHeap.freedLinks) {
      EXPECT_TRUE(IsPoisoned(link));
    }
  }

  // A list with `names` pushed in order, so the last name is at index 0.
  PtrList* Make(const char* names) {
    PtrList* list = PtrListNew();
    gHeap.lists.push_back(list);
    for (const char* p = names; *p != '\0'; ++p) {
      PtrListPush(list, Item(*p == '-' ? '\0' : *p));
    }
    return list;
  }
};

// The names front to back, after checking every link against its neighbours
// and the count against both walks.
std::string Names(const PtrList* list) {
  std::string names;
  const PtrListLink* previous = nullptr;
  for (const PtrListLink* link = list->front; link != nullptr; link = link->towardBack) {
    EXPECT_EQ(link->towardFront, previous) << "at " << names.size();
    names += Name(link->item);
    previous = link;
  }
  EXPECT_EQ(list->back, previous);
  int32_t backward = 0;
  for (const PtrListLink* link = list->back; link != nullptr; link = link->towardFront) {
    ++backward;
  }
  EXPECT_EQ(list->itemCount, static_cast<int32_t>(names.size()));
  EXPECT_EQ(backward, list->itemCount);
  return names;
}

TEST_F(PointerList, AtCountsFromTheMostRecentPush) {
  PtrList* abc = Make("ABC");
  PtrList* empty = Make("");
  struct Case {
    PtrList* list;
    int32_t index;
    char name;
  } const cases[] = {
      {abc, 0, 'C'}, {abc, 1, 'B'},  {abc, 2, 'A'},  {abc, -1, 'C'}, {abc, INT32_MIN, 'C'},
      {abc, 3, '-'}, {abc, 99, '-'}, {empty, 0, '-'}, {empty, -1, '-'}, {empty, 1, '-'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.list->itemCount) + " items, index " + std::to_string(c.index));
    EXPECT_EQ(Name(PtrListAt(c.list, c.index)), c.name);
  }
  PtrListDelete(abc);
  PtrListDelete(empty);
}

TEST_F(PointerList, FindOffersItemsInWalkOrderUntilOneIsSelected) {
  struct Case {
    int32_t direction;
    const char* select;
    char found;
    const char* offered;
  } const cases[] = {
      {1, "", '-', "C0 B1 A2 "},
      {0, "", '-', "A2 B1 C0 "},
      {-7, "", '-', "C0 B1 A2 "},  // any non-zero walks front to back
      {1, "AC", 'C', "C0 "},
      {0, "AC", 'A', "A2 "},
      {1, "B", 'B', "C0 B1 "},
      {0, "B", 'B', "A2 B1 "},
  };
  PtrList* list = Make("ABC");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.direction) + " selecting \"" + c.select + "\"");
    Probe probe;
    probe.select = c.select;
    EXPECT_EQ(Name(PtrListFind(list, c.direction, Offer, &probe)), c.found);
    EXPECT_EQ(probe.offered, c.offered);
  }
  PtrListDelete(list);
}

TEST_F(PointerList, FoundNullItemLooksLikeNoMatch) {
  PtrList* list = Make("A-B");
  Probe probe;
  probe.select = "-";
  EXPECT_EQ(PtrListFind(list, 1, Offer, &probe), nullptr);
  EXPECT_EQ(probe.offered, "B0 -1 ");  // the walk did stop at the null item
  PtrListDelete(list);
}

TEST_F(PointerList, AddUniqueSkipsPresentPointersButAlwaysPushesNull) {
  PtrList* list = Make("AB");
  EXPECT_EQ(PtrListAddUnique(list, Item('A')), 2);
  EXPECT_EQ(PtrListAddUnique(list, Item('C')), 3);
  EXPECT_EQ(PtrListAddUnique(list, nullptr), 4);
  EXPECT_EQ(PtrListAddUnique(list, nullptr), 5);
  EXPECT_EQ(Names(list), "--CBA");
  PtrListDelete(list);
}

TEST_F(PointerList, PruneOffersIndexesAndKeepsLinksWhole) {
  struct Case {
    int32_t direction;
    const char* remove;
    const char* offered;
    const char* kept;
  } const cases[] = {
      // Front to back, each element is offered at its index in the shortened list.
      {1, "ABCDE", "E0 D0 C0 B0 A0 ", ""},
      {1, "", "E0 D1 C2 B3 A4 ", "EDCBA"},
      {1, "DB", "E0 D1 C1 B2 A2 ", "ECA"},
      {1, "EA", "E0 D0 C1 B2 A3 ", "DCB"},
      {-1, "DB", "E0 D1 C1 B2 A2 ", "ECA"},  // any non-zero walks front to back
      // Back to front, the indexes count down from the starting count regardless.
      {0, "ABCDE", "A4 B3 C2 D1 E0 ", ""},
      {0, "", "A4 B3 C2 D1 E0 ", "EDCBA"},
      {0, "DB", "A4 B3 C2 D1 E0 ", "ECA"},
      {0, "DCB", "A4 B3 C2 D1 E0 ", "EA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.direction) + " removing \"" + c.remove + "\"");
    PtrList* list = Make("ABCDE");
    const size_t freedBefore = gHeap.freedLinks.size();
    Probe probe;
    probe.select = c.remove;
    const auto kept = static_cast<int32_t>(strlen(c.kept));
    EXPECT_EQ(PtrListPrune(list, c.direction, Offer, &probe), kept);
    EXPECT_EQ(probe.offered, c.offered);
    EXPECT_EQ(Names(list), c.kept);
    EXPECT_EQ(gHeap.freedLinks.size() - freedBefore, 5 - strlen(c.kept));
    EXPECT_EQ(gHeap.live, 1 + kept);
    // A pruned list must still take pushes at both ends of its links.
    PtrListPush(list, Item('F'));
    EXPECT_EQ(Names(list), std::string("F") + c.kept);
    PtrListDelete(list);
  }
}

TEST_F(PointerList, DeletePoisonsTheListAndEveryLinkBeforeFreeing) {
  PtrList* list = Make("ABC");
  EXPECT_EQ(PtrListDelete(list), 1);
  ASSERT_EQ(gHeap.freedLists.size(), 1u);
  const PtrList& freed = gHeap.freedLists[0];
  EXPECT_EQ(static_cast<uint32_t>(freed.itemCount), 0xDEADBEEFu);
  EXPECT_EQ(static_cast<const void*>(freed.front), kPtrListFreedMarker);
  EXPECT_EQ(static_cast<const void*>(freed.back), kPtrListFreedMarker);
  EXPECT_EQ(gHeap.freedLinks.size(), 3u);  // each checked for poison on tear-down
}

TEST_F(PointerList, FailedAllocationLeavesTheListUnchanged) {
  gHeap.allocsLeft = 0;
  EXPECT_EQ(PtrListNew(), nullptr);

  gHeap.allocsLeft = -1;
  PtrList* list = Make("AB");
  const PtrList before = *list;
  gHeap.allocsLeft = 0;
  EXPECT_EQ(PtrListPush(list, Item('C')), -1);
  EXPECT_EQ(PtrListAddUnique(list, Item('C')), -1);
  EXPECT_EQ(list->front, before.front);
  EXPECT_EQ(list->back, before.back);
  EXPECT_EQ(Names(list), "BA");

  gHeap.allocsLeft = -1;
  EXPECT_EQ(PtrListPush(list, Item('C')), 3);
  EXPECT_EQ(Names(list), "CBA");
  PtrListDelete(list);
}

TEST_F(PointerList, FailedPushOnAnEmptyListKeepsItEmpty) {
  PtrList* list = Make("");
  gHeap.allocsLeft = 0;
  EXPECT_EQ(PtrListPush(list, Item('A')), -1);
  EXPECT_EQ(list->front, nullptr);
  EXPECT_EQ(list->back, nullptr);
  EXPECT_EQ(list->itemCount, 0);
  gHeap.allocsLeft = -1;
  PtrListDelete(list);
}

}  // namespace
