// A stand-in of Windows' media transport controls for the Wine tests (Wine has no
// Windows.Media.Control): a DLL that Wine's RoGetActivationFactory loads for the class
// Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager when the test
// registers it under HKLM\Software\Microsoft\WindowsRuntime\ActivatableClassId\<class> with its
// DllPath. It implements the activation factory (DllGetActivationFactory), the manager, its
// sessions and their media properties, playback info and timeline, with their change events.
//
// What the sessions do comes from the script named by LUMORA_MEDIA_SCRIPT, played on a thread
// of the DLL's own from the first RequestAsync, which also raises every event (as the system
// raises them on its thread pool). One command a line, # starts a comment:
//   wait MS                                   let MS milliseconds pass
//   add KEY APP-ID                            a session appears (SessionsChanged)
//   remove KEY                                it vanishes (SessionsChanged)
//   media KEY TYPE TRACK "TITLE" "ARTIST" "ALBUM"
//                                             its media properties (MediaPropertiesChanged);
//                                             TYPE unknown, music, video or image
//   status KEY STATUS RATE                    its playback info (PlaybackInfoChanged); STATUS
//                                             closed, opened, changing, stopped, playing, paused
//   timeline KEY POSITION-MS AGE-MS END-MS    its timeline, LastUpdatedTime AGE-MS ago, or never
//                                             for an AGE-MS of "never" (TimelinePropertiesChanged)
//   current KEY                               the current session changes (CurrentSessionChanged)
// Texts are UTF-8. A line it cannot read is said on standard error with its number and skipped.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sources/media_sessions/media_control_win32.h"

// The objects implement COM interfaces, which have no destructor in their vtable.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

using namespace lumora::sources::winrt;  // NOLINT(google-build-using-namespace)

Runtime gRuntime;
std::mutex gMutex;  // every session's state and every list of handlers

bool Is(REFIID iid, const Guid& guid) {
  return IsEqualGUID(iid, ToGuid(guid)) != FALSE;
}

HSTRING MakeString(const std::wstring& text) {
  HSTRING string = nullptr;
  gRuntime.WindowsCreateString(text.c_str(), static_cast<UINT32>(text.size()), &string);
  return string;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

// IUnknown and IInspectable of an object of one interface (and IAgileObject).
template <typename Interface>
class Object : public Interface {
 public:
  Object(const Guid& iid, const wchar_t* className) : iid_(iid), className_(className) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (Is(iid, kIidUnknown) || Is(iid, kIidInspectable) || Is(iid, iid_) ||
        Is(iid, kIidAgileObject)) {
      *object = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, IID** iids) override {
    *count = 0;
    *iids = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* name) override {
    *name = MakeString(className_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* level) override {
    *level = BaseTrust;
    return S_OK;
  }

 protected:
  virtual ~Object() = default;

 private:
  Guid iid_;
  const wchar_t* className_;
  std::atomic<ULONG> references_{1};
};

// The arguments of an event: nothing but their class.
class EventArgs final : public Object<IInspectable> {
 public:
  using Object::Object;
};

template <typename T>
class Reference final : public Object<IReferenceOf<T>> {
 public:
  Reference(const Guid& iid, T value)
      : Object<IReferenceOf<T>>(iid, L"Windows.Foundation.IReference`1"), value_(value) {}
  HRESULT STDMETHODCALLTYPE get_Value(T* value) override {
    *value = value_;
    return S_OK;
  }

 private:
  T value_;
};

// An operation that completes at once, its completion told from a thread of its own.
template <typename T>
class Async final : public Object<IAsyncOperationOf<T>> {
 public:
  Async(const Guid& iid, T* result)
      : Object<IAsyncOperationOf<T>>(iid, L"Windows.Foundation.IAsyncOperation`1"),
        result_(result) {}
  HRESULT STDMETHODCALLTYPE put_Completed(IAsyncCompletedOf<T>* handler) override {
    if (handler == nullptr) return E_POINTER;
    handler->AddRef();
    this->AddRef();
    std::thread([this, handler] {
      handler->Invoke(this, AsyncStatus::Completed);
      handler->Release();
      this->Release();
    }).detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Completed(IAsyncCompletedOf<T>** handler) override {
    *handler = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResults(T** results) override {
    result_->AddRef();
    *results = result_;
    return S_OK;
  }

 private:
  ~Async() override { result_->Release(); }
  T* result_;
};

// The handlers of one event.
template <typename Sender>
class Event {
 public:
  ~Event() {
    for (auto& entry : handlers_)
      entry.second->Release();
  }
  HRESULT Add(ITypedHandlerOf<Sender>* handler, EventRegistrationToken* token) {
    if (handler == nullptr || token == nullptr) return E_POINTER;
    const std::lock_guard<std::mutex> lock(gMutex);
    handler->AddRef();
    token->value = next_++;
    handlers_.emplace_back(token->value, handler);
    return S_OK;
  }
  HRESULT Remove(EventRegistrationToken token) {
    const std::lock_guard<std::mutex> lock(gMutex);
    for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
      if (it->first != token.value) continue;
      it->second->Release();
      handlers_.erase(it);
      break;
    }
    return S_OK;
  }
  // Calls every handler, outside the lock, with a new event arguments object.
  void Raise(Sender* sender, const Guid& argsIid, const wchar_t* argsClass) {
    std::vector<ITypedHandlerOf<Sender>*> handlers;
    {
      const std::lock_guard<std::mutex> lock(gMutex);
      for (auto& entry : handlers_) {
        entry.second->AddRef();
        handlers.push_back(entry.second);
      }
    }
    auto* args = new EventArgs(argsIid, argsClass);
    for (ITypedHandlerOf<Sender>* handler : handlers) {
      handler->Invoke(sender, args);
      handler->Release();
    }
    args->Release();
  }

 private:
  std::vector<std::pair<int64_t, ITypedHandlerOf<Sender>*>> handlers_;
  int64_t next_ = 1;
};

struct State {
  std::wstring appId;
  std::wstring title, artist, album;
  int32_t track = 0;
  int32_t type = 0;
  int32_t status = 0;
  double rate = 1.0;
  int64_t position = 0;  // 100 ns
  int64_t end = 0;
  int64_t updated = 0;  // DateTime
};

class MediaProperties final : public Object<IMediaProperties> {
 public:
  explicit MediaProperties(State state)
      : Object(kIidMediaProperties,
               L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionMediaProperties"),
        state_(std::move(state)) {}
  HRESULT STDMETHODCALLTYPE get_Title(HSTRING* value) override {
    *value = MakeString(state_.title);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Subtitle(HSTRING* value) override {
    *value = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_AlbumArtist(HSTRING* value) override {
    *value = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Artist(HSTRING* value) override {
    *value = MakeString(state_.artist);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_AlbumTitle(HSTRING* value) override {
    *value = MakeString(state_.album);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_TrackNumber(INT32* value) override {
    *value = state_.track;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Genres(IInspectable** value) override {
    *value = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_AlbumTrackCount(INT32* value) override {
    *value = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackType(IReferenceOf<int32_t>** value) override {
    // No type published: a null reference, as Windows gives.
    *value =
        state_.type == 0 ? nullptr : new Reference<int32_t>(kIidPlaybackTypeReference, state_.type);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Thumbnail(IInspectable** value) override {
    *value = nullptr;
    return S_OK;
  }

 private:
  State state_;
};

class PlaybackInfo final : public Object<IPlaybackInfo> {
 public:
  explicit PlaybackInfo(State state)
      : Object(kIidPlaybackInfo,
               L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionPlaybackInfo"),
        state_(std::move(state)) {}
  HRESULT STDMETHODCALLTYPE get_Controls(IInspectable** value) override {
    *value = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackStatus(int32_t* value) override {
    *value = state_.status;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackType(IReferenceOf<int32_t>** value) override {
    *value =
        state_.type == 0 ? nullptr : new Reference<int32_t>(kIidPlaybackTypeReference, state_.type);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_AutoRepeatMode(IReferenceOf<int32_t>** value) override {
    *value = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackRate(IReferenceOf<double>** value) override {
    *value = new Reference<double>(kIidDoubleReference, state_.rate);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsShuffleActive(IReferenceOf<boolean>** value) override {
    *value = nullptr;
    return S_OK;
  }

 private:
  State state_;
};

class Timeline final : public Object<ITimelineProperties> {
 public:
  explicit Timeline(State state)
      : Object(
            kIidTimelineProperties,
            L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionTimelineProperties"),
        state_(std::move(state)) {}
  HRESULT STDMETHODCALLTYPE get_StartTime(TimeSpan* value) override {
    value->duration = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_EndTime(TimeSpan* value) override {
    value->duration = state_.end;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_MinSeekTime(TimeSpan* value) override {
    value->duration = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_MaxSeekTime(TimeSpan* value) override {
    value->duration = state_.end;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Position(TimeSpan* value) override {
    value->duration = state_.position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_LastUpdatedTime(DateTime* value) override {
    value->universalTime = state_.updated;
    return S_OK;
  }

 private:
  State state_;
};

class Session final : public Object<ISession> {
 public:
  explicit Session(std::wstring appId)
      : Object(kIidSession, L"Windows.Media.Control.GlobalSystemMediaTransportControlsSession") {
    state_.appId = std::move(appId);
  }
  State Snapshot() {
    const std::lock_guard<std::mutex> lock(gMutex);
    return state_;
  }
  template <typename F>
  void Change(F change) {
    const std::lock_guard<std::mutex> lock(gMutex);
    change(state_);
  }

  HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING* value) override {
    *value = MakeString(Snapshot().appId);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  TryGetMediaPropertiesAsync(IAsyncOperationOf<IMediaProperties>** operation) override {
    *operation =
        new Async<IMediaProperties>(kIidAsyncMediaProperties, new MediaProperties(Snapshot()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTimelineProperties(ITimelineProperties** result) override {
    *result = new Timeline(Snapshot());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPlaybackInfo(IPlaybackInfo** result) override {
    *result = new PlaybackInfo(Snapshot());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TryPlayAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryPauseAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryStopAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryRecordAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryFastForwardAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryRewindAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TrySkipNextAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TrySkipPreviousAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryChangeChannelUpAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryChangeChannelDownAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryTogglePlayPauseAsync(Request**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryChangeAutoRepeatModeAsync(int32_t, Request**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TryChangePlaybackRateAsync(double, Request**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TryChangeShuffleActiveAsync(boolean, Request**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TryChangePlaybackPositionAsync(int64_t, Request**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE add_TimelinePropertiesChanged(ITypedHandlerOf<ISession>* handler,
                                                          EventRegistrationToken* token) override {
    return timeline.Add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE
  remove_TimelinePropertiesChanged(EventRegistrationToken token) override {
    return timeline.Remove(token);
  }
  HRESULT STDMETHODCALLTYPE add_PlaybackInfoChanged(ITypedHandlerOf<ISession>* handler,
                                                    EventRegistrationToken* token) override {
    return playback.Add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_PlaybackInfoChanged(EventRegistrationToken token) override {
    return playback.Remove(token);
  }
  HRESULT STDMETHODCALLTYPE add_MediaPropertiesChanged(ITypedHandlerOf<ISession>* handler,
                                                       EventRegistrationToken* token) override {
    return media.Add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_MediaPropertiesChanged(EventRegistrationToken token) override {
    return media.Remove(token);
  }

  Event<ISession> timeline, playback, media;

 private:
  State state_;
};

class SessionList final : public Object<IVectorViewOf<ISession>> {
 public:
  explicit SessionList(std::vector<Session*> sessions)
      : Object(kIidSessionList, L"Windows.Foundation.Collections.IVectorView`1"),
        sessions_(std::move(sessions)) {}
  HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, ISession** item) override {
    if (index >= sessions_.size()) return static_cast<HRESULT>(0x8000000B);  // E_BOUNDS
    *item = sessions_[index];
    (*item)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Size(UINT32* size) override {
    *size = static_cast<UINT32>(sessions_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IndexOf(ISession* item, UINT32* index, boolean* found) override {
    *found = FALSE;
    for (UINT32 i = 0; i < sessions_.size(); ++i) {
      if (sessions_[i] == item) {
        *index = i;
        *found = TRUE;
      }
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMany(UINT32 start, UINT32 capacity, ISession** items,
                                    UINT32* actual) override {
    *actual = 0;
    for (UINT32 i = start; i < sessions_.size() && *actual < capacity; ++i) {
      items[(*actual)++] = sessions_[i];
      sessions_[i]->AddRef();
    }
    return S_OK;
  }

 private:
  ~SessionList() override {
    for (Session* session : sessions_)
      session->Release();
  }
  std::vector<Session*> sessions_;
};

class Manager final : public Object<IManager> {
 public:
  Manager()
      : Object(kIidManager,
               L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager") {}

  HRESULT STDMETHODCALLTYPE GetCurrentSession(ISession** session) override {
    const std::lock_guard<std::mutex> lock(gMutex);
    *session = current_;
    if (current_ != nullptr) current_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSessions(IVectorViewOf<ISession>** sessions) override {
    std::vector<Session*> list;
    {
      const std::lock_guard<std::mutex> lock(gMutex);
      for (auto& entry : sessions_) {
        entry.second->AddRef();
        list.push_back(entry.second);
      }
    }
    *sessions = new SessionList(std::move(list));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_CurrentSessionChanged(ITypedHandlerOf<IManager>* handler,
                                                      EventRegistrationToken* token) override {
    return currentChanged.Add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_CurrentSessionChanged(EventRegistrationToken token) override {
    return currentChanged.Remove(token);
  }
  HRESULT STDMETHODCALLTYPE add_SessionsChanged(ITypedHandlerOf<IManager>* handler,
                                                EventRegistrationToken* token) override {
    return sessionsChanged.Add(handler, token);
  }
  HRESULT STDMETHODCALLTYPE remove_SessionsChanged(EventRegistrationToken token) override {
    return sessionsChanged.Remove(token);
  }

  // The script's side.
  Session* Find(const std::string& key) {
    const std::lock_guard<std::mutex> lock(gMutex);
    for (auto& entry : sessions_)
      if (entry.first == key) return entry.second;
    return nullptr;
  }
  void AddSession(const std::string& key, Session* session) {
    {
      const std::lock_guard<std::mutex> lock(gMutex);
      sessions_.emplace_back(key, session);
    }
    sessionsChanged.Raise(this, kIidSessionsChangedEventArgs,
                          L"Windows.Media.Control.SessionsChangedEventArgs");
  }
  void RemoveSession(const std::string& key) {
    Session* gone = nullptr;
    {
      const std::lock_guard<std::mutex> lock(gMutex);
      for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
        if (it->first != key) continue;
        gone = it->second;
        sessions_.erase(it);
        break;
      }
      if (gone != nullptr && current_ == gone) current_ = nullptr;
    }
    if (gone == nullptr) return;
    sessionsChanged.Raise(this, kIidSessionsChangedEventArgs,
                          L"Windows.Media.Control.SessionsChangedEventArgs");
    gone->Release();
  }
  void MakeCurrent(Session* session) {
    {
      const std::lock_guard<std::mutex> lock(gMutex);
      current_ = session;
    }
    currentChanged.Raise(this, kIidCurrentSessionChangedEventArgs,
                         L"Windows.Media.Control.CurrentSessionChangedEventArgs");
  }

  Event<IManager> currentChanged, sessionsChanged;

 private:
  std::vector<std::pair<std::string, Session*>> sessions_;
  Session* current_ = nullptr;
};

Manager* gManager = nullptr;

int64_t NowDateTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) |
                              now.dwLowDateTime);
}

int32_t IndexOf(const std::string& word, std::initializer_list<const char*> names) {
  int32_t index = 0;
  for (const char* name : names) {
    if (word == name) return index;
    ++index;
  }
  return -1;
}

// One line of the script; false when it cannot be read.
bool Play(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  std::string key;
  if (!(in >> command)) return true;  // blank
  if (command[0] == '#') return true;
  if (command == "wait") {
    long ms = 0;
    if (!(in >> ms) || ms < 0) return false;
    Sleep(static_cast<DWORD>(ms));
    return true;
  }
  if (!(in >> key)) return false;
  if (command == "add") {
    std::string app;
    if (!(in >> std::quoted(app))) return false;
    gManager->AddSession(key, new Session(Wide(app)));
    return true;
  }
  if (command == "remove") {
    gManager->RemoveSession(key);
    return true;
  }
  Session* session = gManager->Find(key);
  if (session == nullptr) return false;
  if (command == "current") {
    gManager->MakeCurrent(session);
    return true;
  }
  if (command == "media") {
    std::string type, title, artist, album;
    int32_t track = 0;
    if (!(in >> type >> track >> std::quoted(title) >> std::quoted(artist) >> std::quoted(album)))
      return false;
    const int32_t typeIndex = IndexOf(type, {"unknown", "music", "video", "image"});
    if (typeIndex < 0) return false;
    session->Change([&](State& s) {
      s.type = typeIndex;
      s.track = track;
      s.title = Wide(title);
      s.artist = Wide(artist);
      s.album = Wide(album);
    });
    session->media.Raise(session, kIidMediaPropertiesChangedEventArgs,
                         L"Windows.Media.Control.MediaPropertiesChangedEventArgs");
    return true;
  }
  if (command == "status") {
    std::string status;
    double rate = 1.0;
    if (!(in >> status >> rate)) return false;
    const int32_t statusIndex =
        IndexOf(status, {"closed", "opened", "changing", "stopped", "playing", "paused"});
    if (statusIndex < 0) return false;
    session->Change([&](State& s) {
      s.status = statusIndex;
      s.rate = rate;
    });
    session->playback.Raise(session, kIidPlaybackInfoChangedEventArgs,
                            L"Windows.Media.Control.PlaybackInfoChangedEventArgs");
    return true;
  }
  if (command == "timeline") {
    long long position = 0;
    long long end = 0;
    std::string age;
    if (!(in >> position >> age >> end)) return false;
    const int64_t updated = age == "never" ? 0 : NowDateTime() - std::atoll(age.c_str()) * 10000;
    session->Change([&](State& s) {
      s.position = position * 10000;
      s.end = end * 10000;
      s.updated = updated;
    });
    session->timeline.Raise(session, kIidTimelinePropertiesChangedEventArgs,
                            L"Windows.Media.Control.TimelinePropertiesChangedEventArgs");
    return true;
  }
  return false;
}

// The script's lines: those before the first wait are the state the manager starts with,
// played before RequestAsync returns; the rest on a thread of their own.
struct Script {
  std::vector<std::string> lines;
  size_t next = 0;
};

Script ReadScript() {
  Script script;
  const char* path = std::getenv("LUMORA_MEDIA_SCRIPT");
  if (path == nullptr || path[0] == '\0') return script;
  std::ifstream file(path);
  if (!file) {
    std::fprintf(stderr, "media stand-in: cannot read %s\n", path);
    return script;
  }
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    script.lines.push_back(line);
  }
  return script;
}

void PlayLines(Script& script, bool untilWait) {
  for (; script.next < script.lines.size(); ++script.next) {
    const std::string& line = script.lines[script.next];
    if (untilWait && line.rfind("wait", 0) == 0) return;
    if (!Play(line)) {
      std::fprintf(stderr, "media stand-in: line %zu not understood: %s\n", script.next + 1,
                   line.c_str());
    }
  }
}

class Factory final : public Object<IActivationFactory> {
 public:
  Factory()
      : Object(kIidActivationFactory,
               L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager") {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object != nullptr && Is(iid, kIidManagerStatics)) {
      *object = &statics_;
      AddRef();
      return S_OK;
    }
    return Object::QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override {
    *instance = nullptr;
    return E_NOTIMPL;
  }

 private:
  // IGlobalSystemMediaTransportControlsSessionManagerStatics of the same object.
  class Statics final : public IManagerStatics {
   public:
    explicit Statics(Factory& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
      return owner_.QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
    HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, IID** iids) override {
      return owner_.GetIids(count, iids);
    }
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* name) override {
      return owner_.GetRuntimeClassName(name);
    }
    HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* level) override {
      return owner_.GetTrustLevel(level);
    }
    HRESULT STDMETHODCALLTYPE RequestAsync(IAsyncOperationOf<IManager>** operation) override {
      static std::once_flag started;
      std::call_once(started, [] {
        gManager = new Manager();
        auto* script = new Script(ReadScript());
        PlayLines(*script, true);
        std::thread([script] {
          PlayLines(*script, false);
          delete script;
        }).detach();
      });
      gManager->AddRef();
      *operation = new Async<IManager>(kIidAsyncManager, gManager);
      return S_OK;
    }

   private:
    Factory& owner_;
  };
  Statics statics_{*this};
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetActivationFactory(HSTRING classId, IActivationFactory** factory) {
  if (factory == nullptr) return E_POINTER;
  *factory = nullptr;
  std::string error;
  if (gRuntime.WindowsGetStringRawBuffer == nullptr && !gRuntime.Load(error)) return E_FAIL;
  UINT32 length = 0;
  const WCHAR* name = gRuntime.WindowsGetStringRawBuffer(classId, &length);
  if (name == nullptr || std::wstring(name, length) != kManagerClass)
    return CLASS_E_CLASSNOTAVAILABLE;
  *factory = new Factory();
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
  return S_FALSE;
}
