// The Session Table and the Picture Session List: small insertion-ordered collections keyed by
// session identifier. New records go to the tail, duplicate keys are allowed, and every lookup,
// update and removal acts on the first match from the head. Records are values: a lookup copies
// the record out, the caller changes its copy, and a replace writes it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lumora {

struct SessionRecord {
  int32_t sessionId = 0;
  uint8_t mediaKind = 0;  // media mode the session was last started in; 0 until one names it
};

inline constexpr size_t kCaptionSize = 32;

struct PictureSessionRecord {
  int32_t sessionId = 0;
  char caption[kCaptionSize] = {};  // a string up to its first NUL or the end of the field
  int32_t playing = 0;
  int32_t paused = 0;
  int32_t stopped = 0;
};

// Insertion-ordered records in nodes allocated ten at a time. A removed node goes onto a free
// list and is the next one reused; when the last record goes, every block is released.
template <typename Record>
class RecordList {
 public:
  RecordList() = default;
  ~RecordList() { Clear(); }
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  void Append(const Record& record) {
    Node* node = TakeNode();
    node->record = record;
    node->next = nullptr;
    node->prev = tail_;
    if (tail_ != nullptr) {
      tail_->next = node;
    } else {
      head_ = node;
    }
    tail_ = node;
    ++count_;
  }

  // The first record whose key matches, or null.
  Record* Find(int32_t sessionId) {
    for (Node* node = head_; node != nullptr; node = node->next) {
      if (node->record.sessionId == sessionId) return &node->record;
    }
    return nullptr;
  }
  const Record* Find(int32_t sessionId) const {
    return const_cast<RecordList*>(this)->Find(sessionId);
  }

  // Removes the first match only; false when there is none.
  bool Remove(int32_t sessionId) {
    Node* node = head_;
    while (node != nullptr && node->record.sessionId != sessionId)
      node = node->next;
    if (node == nullptr) return false;
    (node->prev != nullptr ? node->prev->next : head_) = node->next;
    (node->next != nullptr ? node->next->prev : tail_) = node->prev;
    node->next = free_;
    free_ = node;
    if (--count_ == 0) Clear();
    return true;
  }

  void Clear() {
    while (blocks_ != nullptr) {
      Block* next = blocks_->next;
      delete blocks_;
      blocks_ = next;
    }
    head_ = tail_ = free_ = nullptr;
    count_ = 0;
  }

  int32_t Count() const { return count_; }

  // Records from the head, for inspection.
  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const Node* node = head_; node != nullptr; node = node->next)
      visit(node->record);
  }

 private:
  static constexpr size_t kBlockNodes = 10;
  struct Node {
    Record record;
    Node* prev;
    Node* next;
  };
  struct Block {
    Node nodes[kBlockNodes];
    Block* next;
  };

  Node* TakeNode() {
    if (free_ == nullptr) {
      Block* block = new Block{};
      block->next = blocks_;
      blocks_ = block;
      for (size_t i = kBlockNodes; i-- > 0;) {
        block->nodes[i].next = free_;
        free_ = &block->nodes[i];
      }
    }
    Node* node = free_;
    free_ = node->next;
    return node;
  }

  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  Node* free_ = nullptr;
  Block* blocks_ = nullptr;
  int32_t count_ = 0;
};

class SessionTable {
 public:
  SessionTable() = default;
  virtual ~SessionTable() = default;

  // Appends {sessionId, kind 0}, even when the identifier is present already. Always 1.
  int32_t AddSession(int32_t sessionId) {
    records_.Append(SessionRecord{sessionId, 0});
    return 1;
  }
  // Copies the first match into out and returns 1; else zero-fills out and returns 0.
  int32_t FindSession(int32_t sessionId, SessionRecord& out) const {
    const SessionRecord* found = records_.Find(sessionId);
    out = found != nullptr ? *found : SessionRecord{};
    return found != nullptr ? 1 : 0;
  }
  // Sets the kind of the first match, or appends a new record with it. Always 1.
  int32_t SetMediaKind(int32_t sessionId, uint8_t kind) {
    if (SessionRecord* found = records_.Find(sessionId)) {
      found->mediaKind = kind;
    } else {
      records_.Append(SessionRecord{sessionId, kind});
    }
    return 1;
  }
  int32_t RemoveSession(int32_t sessionId) { return records_.Remove(sessionId) ? 1 : 0; }
  void ClearSessions() { records_.Clear(); }

  const RecordList<SessionRecord>& records() const { return records_; }

 private:
  RecordList<SessionRecord> records_;
};

class PictureSessionList {
 public:
  // Appends a copy, even when the identifier is present already.
  void AddPictureSession(const PictureSessionRecord& record) { records_.Append(record); }
  int32_t FindPictureSession(int32_t sessionId, PictureSessionRecord& out) const {
    const PictureSessionRecord* found = records_.Find(sessionId);
    out = found != nullptr ? *found : PictureSessionRecord{};
    return found != nullptr ? 1 : 0;
  }
  // Overwrites the whole first match (its identifier included); adds nothing when none.
  int32_t ReplacePictureSession(int32_t sessionId, const PictureSessionRecord& record) {
    PictureSessionRecord* found = records_.Find(sessionId);
    if (found == nullptr) return 0;
    *found = record;
    return 1;
  }
  int32_t RemovePictureSession(int32_t sessionId) { return records_.Remove(sessionId) ? 1 : 0; }
  int32_t PictureSessionCount() const { return records_.Count(); }
  int32_t ClearPictureSessions() {
    records_.Clear();
    return 1;
  }

  const RecordList<PictureSessionRecord>& records() const { return records_; }

 private:
  RecordList<PictureSessionRecord> records_;
};

}  // namespace lumora
