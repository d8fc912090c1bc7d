// A doubly linked list of untyped pointers, searched and pruned through
// caller-supplied predicates walking either way. List and link blocks are
// overwritten with recognisable values before they are freed, so a use after
// PtrListDelete or a prune shows up as the marker's address, not as old data.
#pragma once

#include <cstddef>
#include <cstdint>

struct PtrListLink {
  void* item;
  PtrListLink* towardFront;  // neighbour with the next lower index; null at the front
  PtrListLink* towardBack;   // neighbour with the next higher index; null at the back
};

struct PtrList {
  int32_t itemCount;
  PtrListLink* front;  // index 0, the most recently pushed; null when empty
  PtrListLink* back;   // index itemCount - 1; null when empty
};

// Selects the offered element by returning 0.
using PtrListPredicate = int32_t (*)(void* item, int32_t index, void* context);

// Freed blocks point at this text; only its address is meaningful.
extern const char kPtrListFreedMarker[];
// The bit pattern a freed list leaves in itemCount.
constexpr uint32_t kPtrListFreedCount = 0xDEADBEEF;

// A new empty list, or null when memory is short.
PtrList* PtrListNew();
// Inserts at the front; the new count, or -1 (list unchanged) when memory is short.
int32_t PtrListPush(PtrList* list, void* item);
int32_t PtrListCount(const PtrList* list);
// Walks front to back when `direction` is non-zero, back to front when it is
// 0; the first selected element, or null when none is.
void* PtrListFind(PtrList* list, int32_t direction, PtrListPredicate predicate, void* context);
// The element at `index` (below 0 counts as 0), or null past the end.
void* PtrListAt(const PtrList* list, int32_t index);
// Removes every selected element; the remaining count. Front to back, the
// element after a removed one is offered with the removed one's index.
int32_t PtrListPrune(PtrList* list, int32_t direction, PtrListPredicate predicate,
                     void* context);
// Pushes `item` unless an equal pointer is present (a null item always goes
// in); the count, or -1 when memory is short.
int32_t PtrListAddUnique(PtrList* list, void* item);
// Frees every link and the list itself; returns 1.
int32_t PtrListDelete(PtrList* list);

// Test hook: replaces the heap calls the list uses; null restores malloc and
// free. The release hook sees each block, already poisoned, before it must free it.
void PtrListSetAllocHooks(void* (*alloc)(size_t), void (*release)(void*));
