// Constructors, text storage and release of the record tree.
#include "store/tree/record_tree.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

namespace {

// Large enough that a tree of a hundred thousand students takes a few thousand blocks.
constexpr std::size_t kBlockBytes = 256 * 1024;

const char kNoText[] = "";

RecordStore* gActiveStore = nullptr;

// The trees whose memory is a store's, by first intake. A program holds one tree; tests a few.
std::unordered_map<const IntakeRecord*, std::unique_ptr<RecordStore>>& adoptedStores() {
  static std::unordered_map<const IntakeRecord*, std::unique_ptr<RecordStore>> stores;
  return stores;
}

bool isContinuationByte(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The number of bytes of src that copyText keeps for maxChars characters.
std::size_t cutLength(const char* src, std::size_t maxChars) {
  const auto* in = reinterpret_cast<const unsigned char*>(src);
  std::size_t used = 0;
  for (std::size_t chars = 0; chars < maxChars && in[used] != '\0'; ++chars) {
    // A character is its lead byte and the continuation bytes after it.
    std::size_t length = 1;
    while (in[used + length] != '\0' && isContinuationByte(in[used + length])) {
      ++length;
    }
    used += length;
  }
  return used;
}

// Records are made only within a store scope; outside one there is nowhere to put them.
template <typename Record>
Record* allocateRecord() {
  void* memory = gActiveStore == nullptr ? nullptr : gActiveStore->allocate(sizeof(Record));
  return memory == nullptr ? nullptr : new (memory) Record();
}

// The text of a field set by a constructor: shared for the texts many records repeat.
const char* constructorText(std::size_t maxChars, const char* src, bool shared) {
  if (gActiveStore == nullptr) {
    return nullptr;
  }
  return shared ? gActiveStore->share(maxChars, src) : gActiveStore->copy(maxChars, src);
}

}  // namespace

struct RecordStore::Shared {
  std::unordered_map<std::string, const char*> texts;
};

RecordStore::~RecordStore() {
  for (char* block : blocks_) {
    ::operator delete(block);
  }
  delete shared_;
}

void* RecordStore::allocate(std::size_t bytes) {
  // Records follow texts in a block: step over the bytes that put the cursor out of line.
  constexpr std::size_t kAlign = alignof(std::max_align_t);
  std::size_t padding = (kAlign - reinterpret_cast<std::uintptr_t>(cursor_) % kAlign) % kAlign;
  if (padding <= left_) {
    cursor_ += padding;
    left_ -= padding;
  } else {
    left_ = 0;
  }
  return take(bytes);
}

char* RecordStore::take(std::size_t bytes) {
  if (bytes > left_) {
    // A new block starts out of line for no record (new[] aligns for any type).
    std::size_t size = bytes > kBlockBytes ? bytes : kBlockBytes;
    auto* block = static_cast<char*>(::operator new(size, std::nothrow));
    if (block == nullptr) {
      return nullptr;
    }
    try {
      blocks_.push_back(block);
    } catch (const std::bad_alloc&) {
      ::operator delete(block);
      return nullptr;
    }
    cursor_ = block;
    left_ = size;
  }
  char* memory = cursor_;
  cursor_ += bytes;
  left_ -= bytes;
  return memory;
}

const char* RecordStore::copy(std::size_t maxChars, const char* src) {
  src = src == nullptr ? kNoText : src;
  std::size_t length = cutLength(src, maxChars);
  if (length == 0) {
    return kNoText;
  }
  char* text = take(length + 1);
  if (text != nullptr) {
    std::memcpy(text, src, length);
    text[length] = '\0';
  }
  return text;
}

const char* RecordStore::share(std::size_t maxChars, const char* src) {
  src = src == nullptr ? kNoText : src;
  try {
    if (shared_ == nullptr) {
      shared_ = new Shared();
    }
    std::string key(src, cutLength(src, maxChars));
    auto found = shared_->texts.find(key);
    if (found != shared_->texts.end()) {
      return found->second;
    }
    const char* text = copy(maxChars, src);
    if (text != nullptr) {
      shared_->texts.emplace(std::move(key), text);
    }
    return text;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

RecordStoreScope::RecordStoreScope(RecordStore& store) : previous_(gActiveStore) {
  gActiveStore = &store;
}

RecordStoreScope::~RecordStoreScope() {
  gActiveStore = previous_;
}

void adoptRecordStore(RecordTree tree, std::unique_ptr<RecordStore> store) {
  adoptedStores()[tree] = std::move(store);
}

void copyText(char* dst, std::size_t dstBytes, std::size_t maxChars, const char* src) {
  if (dstBytes == 0) {
    return;
  }
  src = src == nullptr ? kNoText : src;
  std::size_t used = cutLength(src, maxChars);
  while (used >= dstBytes) {
    // Back off to the start of a character that fits with the terminator.
    --used;
    while (used > 0 && isContinuationByte(static_cast<unsigned char>(src[used]))) {
      --used;
    }
  }
  std::memcpy(dst, src, used);
  dst[used] = '\0';
}

bool setText(const char*& field, std::size_t maxChars, const char* src) {
  const char* text = constructorText(maxChars, src, false);
  if (text == nullptr) {
    return false;
  }
  field = text;
  return true;
}

IntakeRecord* newIntakeRecord(const char* code) {
  const char* text = constructorText(kIntakeCodeChars, code, true);
  if (text == nullptr) {
    return nullptr;
  }
  auto* intake = allocateRecord<IntakeRecord>();
  if (intake != nullptr) {
    intake->code = text;
  }
  return intake;
}

AddressRecord* newAddressRecord() {
  auto* address = allocateRecord<AddressRecord>();
  if (address != nullptr) {
    address->streetAddress = address->city = address->state = address->postcode = kNoText;
  }
  return address;
}

StudentRecord* newStudentRecord(AddressRecord* address) {
  auto* student = allocateRecord<StudentRecord>();
  if (student != nullptr) {
    student->studentId = student->name = student->intake = kNoText;
    student->address = address;
  }
  return student;
}

LevelNode* newLevelNode(int number) {
  auto* level = allocateRecord<LevelNode>();
  if (level != nullptr) {
    level->number = number;
  }
  return level;
}

SemesterNode* newSemesterNode(int number) {
  auto* semester = allocateRecord<SemesterNode>();
  if (semester != nullptr) {
    semester->number = number;
  }
  return semester;
}

SubjectResult* newSubjectResult(const char* subjectId, const char* subjectName, int marks) {
  const char* id = constructorText(kSubjectIdChars, subjectId, true);
  const char* name =
      id == nullptr ? nullptr : constructorText(kSubjectNameChars, subjectName, true);
  auto* result = name == nullptr ? nullptr : allocateRecord<SubjectResult>();
  if (result == nullptr) {
    return nullptr;
  }
  result->subjectId = id;
  result->subjectName = name;
  result->marks = marks < 0 ? 0 : marks;
  return result;
}

void releaseRecordTree(IntakeRecord* first) {
  if (first != nullptr) {
    adoptedStores().erase(first);  // the store holds every record and text of the tree
  }
}
