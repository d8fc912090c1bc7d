// The pointer list: heap links joined both ways, with predicate walks in
// either direction and poisoned blocks on release.
#include "pointer_list.h"

#include <cstdlib>

// "This memory has been freed. Do not point at it."
const char kPtrListFreedMarker[] =
    "\x82\xB1\x82\xCC\x83\x81\x83\x82\x83\x8A\x82\xCD\x89\xF0\x95\xFA\x8D\xCF\x82\xDD"
    "\x82\xC5\x82\xB7\x81\x42\x8E\x77\x82\xB5\x8E\xA6\x82\xB5\x82\xC4\x82\xCD\x82\xA2"
    "\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x81\x42";

namespace {

void* (*gAlloc)(size_t) = malloc;
void (*gRelease)(void*) = free;

void* FreedMarker() {
  return const_cast<char*>(kPtrListFreedMarker);
}

PtrListLink* FreedMarkerLink() {
  return static_cast<PtrListLink*>(FreedMarker());
}

void ReleaseLink(PtrListLink* link) {
  link->item = FreedMarker();
  link->towardFront = FreedMarkerLink();
  link->towardBack = FreedMarkerLink();
  gRelease(link);
}

void Unlink(PtrList* list, PtrListLink* link) {
  --list->itemCount;
  if (link->towardFront != nullptr) {
    link->towardFront->towardBack = link->towardBack;
  }
  if (link->towardBack != nullptr) {
    link->towardBack->towardFront = link->towardFront;
  }
  if (list->front == link) {
    list->front = link->towardBack;
  }
  if (list->back == link) {
    list->back = link->towardFront;
  }
  link->towardFront = nullptr;
  link->towardBack = nullptr;
}

int32_t SelectsEverything(void* /*item*/, int32_t /*index*/, void* /*context*/) {
  return 0;
}

// The predicate's type fixes the parameters as pointers to non-const.
// cppcheck-suppress constParameter
int32_t DiffersFromContext(void* item, int32_t /*index*/, void* context) {
  return item != context ? 1 : 0;
}

}  // namespace

void PtrListSetAllocHooks(void* (*alloc)(size_t), void (*release)(void*)) {
  gAlloc = alloc != nullptr ? alloc : malloc;
  gRelease = release != nullptr ? release : free;
}

PtrList* PtrListNew() {
  auto* list = static_cast<PtrList*>(gAlloc(sizeof(PtrList)));
  if (list == nullptr) {
    return nullptr;
  }
  list->itemCount = 0;
  list->front = nullptr;
  list->back = nullptr;
  return list;
}

int32_t PtrListPush(PtrList* list, void* item) {
  auto* link = static_cast<PtrListLink*>(gAlloc(sizeof(PtrListLink)));
  if (link == nullptr) {
    return -1;
  }
  link->item = item;
  link->towardFront = nullptr;
  link->towardBack = list->front;
  ++list->itemCount;
  if (list->front != nullptr) {
    list->front->towardFront = link;
  }
  list->front = link;
  if (list->back == nullptr) {
    list->back = link;
  }
  return list->itemCount;
}

int32_t PtrListCount(const PtrList* list) {
  return list->itemCount;
}

void* PtrListFind(PtrList* list, int32_t direction, PtrListPredicate predicate, void* context) {
  const bool frontToBack = direction != 0;
  PtrListLink* link = frontToBack ? list->front : list->back;
  int32_t index = frontToBack ? 0 : list->itemCount - 1;
  while (link != nullptr) {
    if (predicate(link->item, index, context) == 0) {
      return link->item;
    }
    link = frontToBack ? link->towardBack : link->towardFront;
    index += frontToBack ? 1 : -1;
  }
  return nullptr;
}

void* PtrListAt(const PtrList* list, int32_t index) {
  const PtrListLink* link = list->front;
  for (int32_t step = 0; step < index; ++step) {
    if (link == nullptr) {
      return nullptr;
    }
    link = link->towardBack;
  }
  return link != nullptr ? link->item : nullptr;
}

int32_t PtrListPrune(PtrList* list, int32_t direction, PtrListPredicate predicate,
                     void* context) {
  const bool frontToBack = direction != 0;
  PtrListLink* link = frontToBack ? list->front : list->back;
  int32_t index = frontToBack ? 0 : list->itemCount - 1;
  while (link != nullptr) {
    // Taken first: a removed link is poisoned and freed before the step.
    PtrListLink* next = frontToBack ? link->towardBack : link->towardFront;
    const bool remove = predicate(link->item, index, context) == 0;
    if (remove) {
      Unlink(list, link);
      ReleaseLink(link);
    }
    // Front to back, the next element moves up into the removed one's index.
    if (!frontToBack) {
      --index;
    } else if (!remove) {
      ++index;
    }
    link = next;
  }
  return list->itemCount;
}

int32_t PtrListAddUnique(PtrList* list, void* item) {
  // A null item cannot be told from "not found", so it is always pushed.
  if (PtrListFind(list, 1, DiffersFromContext, item) != nullptr) {
    return list->itemCount;
  }
  return PtrListPush(list, item);
}

int32_t PtrListDelete(PtrList* list) {
  PtrListPrune(list, 1, SelectsEverything, nullptr);
  list->itemCount = static_cast<int32_t>(kPtrListFreedCount);
  list->front = FreedMarkerLink();
  list->back = FreedMarkerLink();
  gRelease(list);
  return 1;
}
