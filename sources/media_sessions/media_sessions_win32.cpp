#include "sources/media_sessions/media_sessions_win32.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include "sources/media_sessions/media_control_win32.h"
#include "sources/media_sessions/media_sessions_adapter.h"

// The handlers implement COM interfaces, which have no destructor in their vtable.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace lumora::sources {

namespace {

using namespace winrt;  // NOLINT(google-build-using-namespace): the interfaces' own names

// HRESULT of an asynchronous operation asked for its results before it completed.
constexpr HRESULT kNotYet = static_cast<HRESULT>(0x8000000E);

// What the system's threads note for the follower's: what happened, to which session.
enum class NoteKind : uint8_t {
  ManagerReady,
  SessionsChanged,
  MediaChanged,
  PropertiesReady,
  PlaybackChanged,
  TimelineChanged,
};
struct Note {
  NoteKind kind;
  uint64_t key;  // the session's; 0 for the manager's
};

class Mailbox {
 public:
  Mailbox() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) { notes_.reserve(64); }
  ~Mailbox() {
    if (event_ != nullptr) CloseHandle(event_);
  }
  Mailbox(const Mailbox&) = delete;
  Mailbox& operator=(const Mailbox&) = delete;
  void Post(Note note) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      notes_.push_back(note);
    }
    SetEvent(event_);
  }
  void Take(std::vector<Note>& out) {
    out.clear();
    const std::lock_guard<std::mutex> lock(mutex_);
    out.swap(notes_);
  }
  HANDLE event() const { return event_; }

 private:
  HANDLE event_;
  std::mutex mutex_;
  std::vector<Note> notes_;
};

bool Same(REFIID a, const GUID& b) {
  return IsEqualGUID(a, b) != FALSE;
}

// An event or completion handler: notes its Note in the mailbox, whatever thread calls it. It
// is agile (IAgileObject), so the system calls it directly from its thread pool.
template <typename Interface, typename First, typename Second>
class Handler final : public Interface {
 public:
  Handler(std::shared_ptr<Mailbox> mailbox, const Guid& iid, Note note)
      : mailbox_(std::move(mailbox)), iid_(ToGuid(iid)), note_(note) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (Same(iid, ToGuid(kIidUnknown)) || Same(iid, iid_) || Same(iid, ToGuid(kIidAgileObject))) {
      *object = static_cast<Interface*>(this);
      AddRef();
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
  HRESULT STDMETHODCALLTYPE Invoke(First, Second) override {
    mailbox_->Post(note_);
    return S_OK;
  }

 private:
  ~Handler() = default;
  std::shared_ptr<Mailbox> mailbox_;
  GUID iid_;
  Note note_;
  std::atomic<ULONG> references_{1};
};

using SessionHandler = Handler<ITypedHandlerOf<ISession>, ISession*, IInspectable*>;
using ManagerHandler = Handler<ITypedHandlerOf<IManager>, IManager*, IInspectable*>;
using ManagerCompleted =
    Handler<IAsyncCompletedOf<IManager>, IAsyncOperationOf<IManager>*, winrt::AsyncStatus>;
using PropertiesCompleted = Handler<IAsyncCompletedOf<IMediaProperties>,
                                    IAsyncOperationOf<IMediaProperties>*, winrt::AsyncStatus>;

template <typename T>
void ReleaseNow(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

template <typename T>
PlaybackType TypeOf(IReferenceOf<T>* reference) {
  if (reference == nullptr) return PlaybackType::Unknown;
  T value{};
  const bool ok = SUCCEEDED(reference->get_Value(&value));
  reference->Release();
  if (!ok || value < 0 || value > 3) return PlaybackType::Unknown;
  return static_cast<PlaybackType>(value);
}

int64_t Ms(TimeSpan span) {
  return span.duration / 10000;
}

}  // namespace

struct MediaSessionsWatch::Impl {
  struct Tracked {
    ISession* session = nullptr;
    IUnknown* identity = nullptr;  // compares sessions
    SessionReport report;
    PlaybackType propertiesType = PlaybackType::Unknown;
    PlaybackType infoType = PlaybackType::Unknown;
    bool seen = false;
    EventRegistrationToken media{}, playback{}, timeline{};
    IAsyncOperationOf<IMediaProperties>* pending = nullptr;
  };

  explicit Impl(SourceApp* source) {
    if (source != nullptr) adapter = std::make_unique<MediaSessionsAdapter>(*source, UnixNowMs);
  }
  ~Impl() {
    for (Tracked& tracked : sessions)
      Forget(tracked);
    if (manager != nullptr) {
      manager->remove_SessionsChanged(sessionsToken);
      manager->remove_CurrentSessionChanged(currentToken);
    }
    ReleaseNow(manager);
    ReleaseNow(request);
  }

  Tracked* Find(uint64_t key) {
    for (Tracked& tracked : sessions)
      if (tracked.report.key == key) return &tracked;
    return nullptr;
  }

  void Forget(Tracked& tracked) {
    tracked.session->remove_MediaPropertiesChanged(tracked.media);
    tracked.session->remove_PlaybackInfoChanged(tracked.playback);
    tracked.session->remove_TimelinePropertiesChanged(tracked.timeline);
    ReleaseNow(tracked.pending);
    ReleaseNow(tracked.session);
    ReleaseNow(tracked.identity);
  }

  void ManagerReady() {
    if (request == nullptr) return;
    IManager* answer = nullptr;
    const HRESULT result = request->GetResults(&answer);
    if (result == kNotYet) return;
    ReleaseNow(request);
    if (FAILED(result) || answer == nullptr) {
      failure = "the media sessions are not available: the system's manager did not answer (" +
                HresultText(result) + ")";
      return;
    }
    manager = answer;
    auto* sessionsChanged =
        new ManagerHandler(mailbox, kIidSessionsChanged, Note{NoteKind::SessionsChanged, 0});
    manager->add_SessionsChanged(sessionsChanged, &sessionsToken);
    sessionsChanged->Release();
    // The current session changing changes nothing of its own here: the core gives the panel
    // to the player that changed last. The list is read again, which costs little.
    auto* currentChanged =
        new ManagerHandler(mailbox, kIidCurrentSessionChanged, Note{NoteKind::SessionsChanged, 0});
    manager->add_CurrentSessionChanged(currentChanged, &currentToken);
    currentChanged->Release();
    ReadSessions();
  }

  void ReadSessions() {
    if (manager == nullptr) return;
    IVectorViewOf<ISession>* list = nullptr;
    if (FAILED(manager->GetSessions(&list)) || list == nullptr) return;
    for (Tracked& tracked : sessions)
      tracked.seen = false;
    UINT32 size = 0;
    list->get_Size(&size);
    for (UINT32 i = 0; i < size; ++i) {
      ISession* session = nullptr;
      if (FAILED(list->GetAt(i, &session)) || session == nullptr) continue;
      IUnknown* identity = nullptr;
      session->QueryInterface(ToGuid(kIidUnknown), reinterpret_cast<void**>(&identity));
      auto it = std::find_if(sessions.begin(), sessions.end(),
                             [&](const Tracked& t) { return t.identity == identity; });
      if (it != sessions.end()) {
        it->seen = true;
        session->Release();
        ReleaseNow(identity);
        continue;
      }
      Add(session, identity);
    }
    list->Release();
    for (size_t i = sessions.size(); i-- > 0;) {
      if (sessions[i].seen) continue;
      Forget(sessions[i]);
      sessions.erase(sessions.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }

  void Add(ISession* session, IUnknown* identity) {
    sessions.push_back(Tracked{});
    Tracked& tracked = sessions.back();
    tracked.session = session;
    tracked.identity = identity;
    tracked.seen = true;
    tracked.report.key = nextKey++;
    HSTRING app = nullptr;
    if (SUCCEEDED(session->get_SourceAppUserModelId(&app)))
      tracked.report.appId = runtime.Take(app);
    const uint64_t key = tracked.report.key;
    auto* media =
        new SessionHandler(mailbox, kIidMediaPropertiesChanged, Note{NoteKind::MediaChanged, key});
    session->add_MediaPropertiesChanged(media, &tracked.media);
    media->Release();
    auto* playback =
        new SessionHandler(mailbox, kIidPlaybackInfoChanged, Note{NoteKind::PlaybackChanged, key});
    session->add_PlaybackInfoChanged(playback, &tracked.playback);
    playback->Release();
    auto* timeline = new SessionHandler(mailbox, kIidTimelinePropertiesChanged,
                                        Note{NoteKind::TimelineChanged, key});
    session->add_TimelinePropertiesChanged(timeline, &tracked.timeline);
    timeline->Release();
    ReadPlayback(tracked);
    ReadTimeline(tracked);
    AskProperties(tracked);
  }

  // The media properties come by an asynchronous operation; a newer request replaces one
  // still under way.
  void AskProperties(Tracked& tracked) {
    ReleaseNow(tracked.pending);
    IAsyncOperationOf<IMediaProperties>* operation = nullptr;
    if (FAILED(tracked.session->TryGetMediaPropertiesAsync(&operation)) || operation == nullptr)
      return;
    tracked.pending = operation;
    auto* done = new PropertiesCompleted(mailbox, kIidAsyncMediaPropertiesCompleted,
                                         Note{NoteKind::PropertiesReady, tracked.report.key});
    operation->put_Completed(done);
    done->Release();
  }

  void ReadProperties(Tracked& tracked) {
    if (tracked.pending == nullptr) return;
    IMediaProperties* properties = nullptr;
    const HRESULT result = tracked.pending->GetResults(&properties);
    if (result == kNotYet) return;  // an older request's completion: wait for this one's
    ReleaseNow(tracked.pending);
    if (FAILED(result) || properties == nullptr) return;
    SessionReport& report = tracked.report;
    HSTRING text = nullptr;
    report.title = SUCCEEDED(properties->get_Title(&text)) ? runtime.Take(text) : std::string();
    text = nullptr;
    report.artist = SUCCEEDED(properties->get_Artist(&text)) ? runtime.Take(text) : std::string();
    text = nullptr;
    report.albumTitle =
        SUCCEEDED(properties->get_AlbumTitle(&text)) ? runtime.Take(text) : std::string();
    INT32 track = 0;
    report.trackNumber = SUCCEEDED(properties->get_TrackNumber(&track)) ? track : 0;
    IReferenceOf<int32_t>* type = nullptr;
    tracked.propertiesType =
        SUCCEEDED(properties->get_PlaybackType(&type)) ? TypeOf(type) : PlaybackType::Unknown;
    properties->Release();
    report.hasMedia = true;
    report.type =
        tracked.propertiesType != PlaybackType::Unknown ? tracked.propertiesType : tracked.infoType;
  }

  void ReadPlayback(Tracked& tracked) {
    IPlaybackInfo* info = nullptr;
    if (FAILED(tracked.session->GetPlaybackInfo(&info)) || info == nullptr) return;
    SessionReport& report = tracked.report;
    int32_t status = 0;
    if (SUCCEEDED(info->get_PlaybackStatus(&status)) && status >= 0 && status <= 5)
      report.status = static_cast<SessionStatus>(status);
    IReferenceOf<double>* rate = nullptr;
    report.rate = 1.0;
    if (SUCCEEDED(info->get_PlaybackRate(&rate)) && rate != nullptr) {
      double value = 1.0;
      if (SUCCEEDED(rate->get_Value(&value))) report.rate = value;
      rate->Release();
    }
    IReferenceOf<int32_t>* type = nullptr;
    tracked.infoType =
        SUCCEEDED(info->get_PlaybackType(&type)) ? TypeOf(type) : PlaybackType::Unknown;
    info->Release();
    report.type =
        tracked.propertiesType != PlaybackType::Unknown ? tracked.propertiesType : tracked.infoType;
  }

  void ReadTimeline(Tracked& tracked) {
    ITimelineProperties* timeline = nullptr;
    if (FAILED(tracked.session->GetTimelineProperties(&timeline)) || timeline == nullptr) return;
    SessionReport& report = tracked.report;
    TimeSpan span{0};
    report.startMs = SUCCEEDED(timeline->get_StartTime(&span)) ? Ms(span) : 0;
    span.duration = 0;
    report.endMs = SUCCEEDED(timeline->get_EndTime(&span)) ? Ms(span) : 0;
    span.duration = 0;
    report.positionMs = SUCCEEDED(timeline->get_Position(&span)) ? Ms(span) : 0;
    DateTime updated{0};
    report.updatedUnixMs =
        SUCCEEDED(timeline->get_LastUpdatedTime(&updated)) ? UnixMsOf(updated) : 0;
    timeline->Release();
  }

  void Process() {
    mailbox->Take(notes);
    if (notes.empty()) return;
    for (const Note& note : notes) {
      if (note.kind == NoteKind::ManagerReady) {
        ManagerReady();
        continue;
      }
      if (note.kind == NoteKind::SessionsChanged) {
        ReadSessions();
        continue;
      }
      Tracked* tracked = Find(note.key);
      if (tracked == nullptr) continue;  // gone meanwhile
      switch (note.kind) {
        case NoteKind::MediaChanged:
          AskProperties(*tracked);
          break;
        case NoteKind::PropertiesReady:
          ReadProperties(*tracked);
          break;
        case NoteKind::PlaybackChanged:
          ReadPlayback(*tracked);
          break;
        case NoteKind::TimelineChanged:
          ReadTimeline(*tracked);
          break;
        case NoteKind::ManagerReady:
        case NoteKind::SessionsChanged:
          break;
      }
    }
    Tell();
  }

  void Tell() {
    if (adapter == nullptr || manager == nullptr) return;
    reports.clear();
    for (const Tracked& tracked : sessions)
      reports.push_back(tracked.report);
    adapter->Apply(reports, static_cast<int64_t>(GetTickCount64()));
  }

  Runtime runtime;
  std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();
  std::unique_ptr<MediaSessionsAdapter> adapter;
  IAsyncOperationOf<IManager>* request = nullptr;
  IManager* manager = nullptr;
  EventRegistrationToken sessionsToken{}, currentToken{};
  std::vector<Tracked> sessions;
  std::vector<Note> notes;
  std::vector<SessionReport> reports;
  uint64_t nextKey = 1;
  std::string failure;
};

MediaSessionsWatch::MediaSessionsWatch(SourceApp* source) : impl_(std::make_unique<Impl>(source)) {}

MediaSessionsWatch::~MediaSessionsWatch() = default;

bool MediaSessionsWatch::Start(std::string& error) {
  constexpr char kNotAvailable[] = "the media sessions are not available: ";
  Runtime& runtime = impl_->runtime;
  if (!runtime.Load(error)) {
    error = kNotAvailable + error;
    return false;
  }
  // The follower's thread joins the multithreaded apartment (a thread already in another one
  // stays there: RPC_E_CHANGED_MODE is no failure).
  runtime.RoInitialize(1);
  HSTRING name = nullptr;
  if (FAILED(runtime.WindowsCreateString(kManagerClass.data(),
                                         static_cast<UINT32>(kManagerClass.size()), &name))) {
    error = std::string(kNotAvailable) + "the Windows Runtime cannot make a string";
    return false;
  }
  IManagerStatics* statics = nullptr;
  HRESULT result = runtime.RoGetActivationFactory(name, ToGuid(kIidManagerStatics),
                                                  reinterpret_cast<void**>(&statics));
  runtime.WindowsDeleteString(name);
  if (FAILED(result) || statics == nullptr) {
    error = std::string(kNotAvailable) +
            "this Windows has no Windows.Media.Control.GlobalSystemMediaTransportControlsSession"
            "Manager (Windows 10 1809 or later has it; " +
            HresultText(result) + ")";
    return false;
  }
  result = statics->RequestAsync(&impl_->request);
  statics->Release();
  if (FAILED(result) || impl_->request == nullptr) {
    error = std::string(kNotAvailable) + "the system's manager did not answer (" +
            HresultText(result) + ")";
    return false;
  }
  auto* done = new ManagerCompleted(impl_->mailbox, kIidAsyncManagerCompleted,
                                    Note{NoteKind::ManagerReady, 0});
  impl_->request->put_Completed(done);
  done->Release();
  return true;
}

HANDLE MediaSessionsWatch::wakeEvent() const {
  return impl_->mailbox->event();
}

void MediaSessionsWatch::Process() {
  impl_->Process();
}

int64_t MediaSessionsWatch::NextTickInMs() const {
  if (impl_->adapter == nullptr) return -1;
  return impl_->adapter->NextTickInMs(static_cast<int64_t>(GetTickCount64()));
}

void MediaSessionsWatch::Tick() {
  if (impl_->adapter == nullptr || impl_->manager == nullptr) return;
  impl_->adapter->Tick(static_cast<int64_t>(GetTickCount64()));
}

bool MediaSessionsWatch::settled() const {
  return impl_->manager != nullptr &&
         std::none_of(impl_->sessions.begin(), impl_->sessions.end(),
                      [](const Impl::Tracked& t) { return t.pending != nullptr; });
}

const std::string& MediaSessionsWatch::failure() const {
  return impl_->failure;
}

std::vector<SessionReport> MediaSessionsWatch::Sessions() const {
  std::vector<SessionReport> reports;
  for (const Impl::Tracked& tracked : impl_->sessions)
    reports.push_back(tracked.report);
  return reports;
}

bool ListMediaSessions(std::vector<std::string>& lines, std::string& error, DWORD waitMs) {
  MediaSessionsWatch watch(nullptr);
  if (!watch.Start(error)) return false;
  const ULONGLONG end = GetTickCount64() + waitMs;
  while (!watch.settled() && watch.failure().empty()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    WaitForSingleObject(watch.wakeEvent(), static_cast<DWORD>(end - now));
    watch.Process();
  }
  if (!watch.failure().empty()) {
    error = watch.failure();
    return false;
  }
  if (!watch.settled()) {
    error = "the system's media sessions did not answer within " + std::to_string(waitMs) + " ms";
    return false;
  }
  for (const SessionReport& session : watch.Sessions())
    lines.push_back(DescribeSession(session));
  return true;
}

}  // namespace lumora::sources
