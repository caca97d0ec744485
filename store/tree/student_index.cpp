// The student index, a search tree threaded through the students' own left and right links, and
// the intake lookup.
#include "store/tree/student_index.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

// IDs compare as strncmp with a count of 8: bytes, not characters, so an ID of
// multi-byte characters is keyed on its first 8 bytes.
constexpr std::size_t kKeyBytes = 8;

int compareKeys(const char* a, const char* b) {
  return std::strncmp(a, b, kKeyBytes);
}

// The key as a big-endian number with zeros from the terminator on. strncmp compares unsigned
// bytes and stops at the first zero, so these numbers order exactly as compareKeys does.
std::uint64_t packedKey(const char* id) {
  std::uint64_t key = 0;
  bool ended = false;
  for (std::size_t i = 0; i < kKeyBytes; ++i) {
    const unsigned char byte = ended ? 0 : static_cast<unsigned char>(id[i]);
    ended = byte == 0;
    key = (key << 8) | byte;
  }
  return key;
}

struct IndexEntry {
  std::uint64_t key;
  std::size_t order;  // position in the insertion order
  StudentRecord* student;

  bool operator<(const IndexEntry& other) const {
    return key != other.key ? key < other.key : order < other.order;
  }
};

// One-by-one insertion: every student in turn, intake by intake.
StudentRecord* insertEach(RecordTree tree, StudentRecord* root) {
  for (IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (StudentRecord* student = intake->firstStudent; student != nullptr;
         student = student->next) {
      root = insertStudent(root, student);
    }
  }
  return root;
}

// Every student with its key and insertion position, sorted by (key, position). May throw
// std::bad_alloc; touches no record.
std::vector<IndexEntry> entriesInKeyOrder(RecordTree tree) {
  // One walk over the students, which lie far apart in memory, among their results.
  std::vector<IndexEntry> entries;
  for (IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    for (StudentRecord* student = intake->firstStudent; student != nullptr;
         student = student->next) {
      entries.push_back({packedKey(student->studentId), entries.size(), student});
    }
  }
  // Students usually arrive in ascending ID order; then there is nothing to sort.
  if (!std::is_sorted(entries.begin(), entries.end())) {
    std::sort(entries.begin(), entries.end());
  }
  return entries;
}

// Links the entries, sorted by (key, position), into the Cartesian tree that is a search tree on
// (key, position) and a min-heap on position. One-by-one insertion with equal keys going right is
// insertion on the distinct pairs (key, position), and a search tree built by inserting distinct
// keys in some order is exactly that Cartesian tree, so both give the same tree node for node.
// spine holds the right spine built so far; its capacity must cover every entry.
StudentRecord* linkCartesianTree(const std::vector<IndexEntry>& sorted,
                                 std::vector<const IndexEntry*>& spine) {
  for (const IndexEntry& entry : sorted) {
    StudentRecord* insertedLater = nullptr;
    while (!spine.empty() && spine.back()->order > entry.order) {
      insertedLater = spine.back()->student;
      spine.pop_back();
    }
    entry.student->left = insertedLater;
    entry.student->right = nullptr;
    if (!spine.empty()) {
      spine.back()->student->right = entry.student;
    }
    spine.push_back(&entry);
  }
  return spine.empty() ? nullptr : spine.front()->student;
}

}  // namespace

StudentRecord* buildStudentIndex(RecordTree tree, StudentRecord* root) {
  if (root != nullptr) {
    return insertEach(tree, root);
  }
  try {
    const std::vector<IndexEntry> sorted = entriesInKeyOrder(tree);
    std::vector<const IndexEntry*> spine;
    spine.reserve(sorted.size());
    return linkCartesianTree(sorted, spine);
  } catch (const std::bad_alloc&) {
    // Nothing has been linked yet. Insertion needs no memory and gives the same tree, only slower
    // on the usual ascending IDs.
    return insertEach(tree, nullptr);
  }
}

StudentRecord* insertStudent(StudentRecord* root, StudentRecord* student) {
  if (student == nullptr) {
    return root;
  }
  student->left = nullptr;
  student->right = nullptr;
  if (root == nullptr) {
    return student;
  }
  // A loop, not recursion: ascending IDs make the tree a chain as long as the
  // list of students, deeper than the stack allows.
  StudentRecord* node = root;
  for (;;) {
    StudentRecord*& below =
        compareKeys(student->studentId, node->studentId) < 0 ? node->left : node->right;
    if (below == nullptr) {
      below = student;
      return root;
    }
    node = below;
  }
}

StudentRecord* findStudent(StudentRecord* root, const char* id) {
  if (id == nullptr) {
    return nullptr;
  }
  StudentRecord* node = root;
  while (node != nullptr) {
    const int order = compareKeys(id, node->studentId);
    if (order == 0) {
      return node;
    }
    node = order < 0 ? node->left : node->right;
  }
  return nullptr;
}

IntakeRecord* findIntake(RecordTree tree, const char* code) {
  if (code == nullptr) {
    return nullptr;
  }
  for (IntakeRecord* intake = tree; intake != nullptr; intake = intake->next) {
    if (std::strcmp(intake->code, code) == 0) {
      return intake;
    }
  }
  return nullptr;
}
