// The student index, a search tree threaded through the students' own left and right links, and
// the intake lookup.
#include "store/tree/student_index.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "util/ascii_fold.h"

namespace {

// IDs compare on their first 8 characters, as the records hold them: the bytes of those
// characters as unsigned values, as strncmp does, so that an ID of multi-byte characters is keyed
// on all of them. A character is its lead byte and the continuation bytes after it, as the record
// store counts when it cuts a text.
constexpr std::size_t kKeyChars = 8;

std::string_view keyOf(const char* id) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(id);
  std::size_t used = 0;
  for (std::size_t chars = 0; chars < kKeyChars && bytes[used] != '\0'; ++chars) {
    ++used;
    while ((bytes[used] & 0xC0) == 0x80) {
      ++used;
    }
  }
  return std::string_view(id, used);
}

// Byte order as unsigned values; a key that is a prefix of the other is the smaller.
int compareKeys(std::string_view a, std::string_view b) {
  const int order = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (order != 0) {
    return order;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

struct IndexEntry {
  std::string_view key;
  std::size_t order;  // position in the insertion order
  StudentRecord* student;

  bool operator<(const IndexEntry& other) const {
    const int byKey = compareKeys(key, other.key);
    return byKey != 0 ? byKey < 0 : order < other.order;
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
      entries.push_back({keyOf(student->studentId), entries.size(), student});
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
    StudentRecord*& below = compareKeys(keyOf(student->studentId), keyOf(node->studentId)) < 0
                                ? node->left
                                : node->right;
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
  const std::string_view key = keyOf(id);
  StudentRecord* node = root;
  while (node != nullptr) {
    const int order = compareKeys(key, keyOf(node->studentId));
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

int intakeKeyAsTyped(int key) {
  return asciiUpper(key);
}

std::string intakeAsTyped(std::string_view code) {
  std::string typed(code);
  for (char& c : typed) {
    c = static_cast<char>(intakeKeyAsTyped(static_cast<unsigned char>(c)));
  }
  return typed;
}

std::string intakeCodeOf(const std::string& stored) {
  char code[textBytes(kIntakeCodeChars)];
  copyText(code, sizeof code, kIntakeCodeChars, stored.c_str());
  return code;
}
