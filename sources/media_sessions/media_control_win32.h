// The Windows Runtime interfaces of Windows.Media.Control that the media-sessions source uses,
// declared by the project (Debian's mingw-w64 has no header for them), and the Windows Runtime
// functions, loaded at run time from combase.dll so that a program using them still starts on
// a Windows without them.
//
// Each interface lists its methods in the order of its vtable, after IInspectable's; the IIDs
// and the public source of both are in media_control_ids.h. Only what the source calls is
// given a meaningful type; the other slots keep their place with their documented parameters.
// IUnknown, IInspectable, IActivationFactory, IAsyncInfo and EventRegistrationToken come from
// mingw-w64's own headers.
#pragma once

#include <windows.h>
// after windows.h
#include <activation.h>
#include <eventtoken.h>
#include <hstring.h>
#include <inspectable.h>

#include <cstdint>
#include <string>

#include "sources/media_sessions/media_control_ids.h"

namespace lumora::sources::winrt {

inline GUID ToGuid(const Guid& guid) {
  GUID out;
  out.Data1 = guid.data1;
  out.Data2 = guid.data2;
  out.Data3 = guid.data3;
  for (size_t i = 0; i < 8; ++i)
    out.Data4[i] = guid.data4[i];
  return out;
}

// Windows.Foundation.DateTime (100 ns since 1601-01-01 UTC) and TimeSpan (100 ns).
struct DateTime {
  int64_t universalTime;
};
struct TimeSpan {
  int64_t duration;
};
// Milliseconds since 1970 of a DateTime; 0 for a DateTime of 0 (never set).
int64_t UnixMsOf(DateTime time);
// The system's clock in milliseconds since 1970.
int64_t UnixNowMs();

// COM interfaces have no destructor in their vtable: objects go with Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// Windows.Foundation.AsyncStatus.
enum class AsyncStatus : int32_t { Started = 0, Completed = 1, Canceled = 2, Error = 3 };

// Windows.Foundation.IReference<T>: get_Value.
template <typename T>
struct IReferenceOf : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Value(T* value) = 0;
};

template <typename T>
struct IAsyncOperationOf;

// Windows.Foundation.AsyncOperationCompletedHandler<T>: Invoke.
template <typename T>
struct IAsyncCompletedOf : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IAsyncOperationOf<T>* operation, AsyncStatus status) = 0;
};

// Windows.Foundation.IAsyncOperation<T>: put_Completed, get_Completed, GetResults.
template <typename T>
struct IAsyncOperationOf : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE put_Completed(IAsyncCompletedOf<T>* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Completed(IAsyncCompletedOf<T>** handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResults(T** results) = 0;
};

// Windows.Foundation.Collections.IVectorView<T>: GetAt, get_Size, IndexOf, GetMany.
template <typename T>
struct IVectorViewOf : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, T** item) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Size(UINT32* size) = 0;
  virtual HRESULT STDMETHODCALLTYPE IndexOf(T* item, UINT32* index, boolean* found) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMany(UINT32 start, UINT32 capacity, T** items,
                                            UINT32* actual) = 0;
};

// Windows.Foundation.TypedEventHandler<TSender, TResult>: Invoke. The arguments of every event
// used here carry nothing and are taken as IInspectable.
template <typename Sender>
struct ITypedHandlerOf : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(Sender* sender, IInspectable* args) = 0;
};

// IGlobalSystemMediaTransportControlsSessionMediaProperties.
struct IMediaProperties : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Title(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Subtitle(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AlbumArtist(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Artist(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AlbumTitle(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TrackNumber(INT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Genres(IInspectable** value) = 0;  // IVectorView<String>
  virtual HRESULT STDMETHODCALLTYPE get_AlbumTrackCount(INT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackType(IReferenceOf<int32_t>** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Thumbnail(IInspectable** value) = 0;
};

// IGlobalSystemMediaTransportControlsSessionPlaybackInfo.
struct IPlaybackInfo : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Controls(IInspectable** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackStatus(int32_t* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackType(IReferenceOf<int32_t>** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AutoRepeatMode(IReferenceOf<int32_t>** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackRate(IReferenceOf<double>** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsShuffleActive(IReferenceOf<boolean>** value) = 0;
};

// IGlobalSystemMediaTransportControlsSessionTimelineProperties.
struct ITimelineProperties : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_StartTime(TimeSpan* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EndTime(TimeSpan* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MinSeekTime(TimeSpan* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MaxSeekTime(TimeSpan* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Position(TimeSpan* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastUpdatedTime(DateTime* value) = 0;
};

// IGlobalSystemMediaTransportControlsSession. The Try...Async requests give an
// IAsyncOperation<Boolean>; the follower only reads a session and never makes them.
struct ISession : IInspectable {
  using Request = IInspectable;
  virtual HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  TryGetMediaPropertiesAsync(IAsyncOperationOf<IMediaProperties>** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTimelineProperties(ITimelineProperties** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPlaybackInfo(IPlaybackInfo** result) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryPlayAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryPauseAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryStopAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryRecordAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryFastForwardAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryRewindAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TrySkipNextAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TrySkipPreviousAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangeChannelUpAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangeChannelDownAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryTogglePlayPauseAsync(Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangeAutoRepeatModeAsync(int32_t mode,
                                                                 Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangePlaybackRateAsync(double rate,
                                                               Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangeShuffleActiveAsync(boolean active,
                                                                Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangePlaybackPositionAsync(int64_t position,
                                                                   Request** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_TimelinePropertiesChanged(
      ITypedHandlerOf<ISession>* handler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  remove_TimelinePropertiesChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_PlaybackInfoChanged(ITypedHandlerOf<ISession>* handler,
                                                            EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_PlaybackInfoChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_MediaPropertiesChanged(ITypedHandlerOf<ISession>* handler,
                                                               EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_MediaPropertiesChanged(EventRegistrationToken token) = 0;
};

// IGlobalSystemMediaTransportControlsSessionManager.
struct IManager : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE GetCurrentSession(ISession** session) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSessions(IVectorViewOf<ISession>** sessions) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_CurrentSessionChanged(ITypedHandlerOf<IManager>* handler,
                                                              EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_CurrentSessionChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_SessionsChanged(ITypedHandlerOf<IManager>* handler,
                                                        EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_SessionsChanged(EventRegistrationToken token) = 0;
};

// IGlobalSystemMediaTransportControlsSessionManagerStatics.
struct IManagerStatics : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE RequestAsync(IAsyncOperationOf<IManager>** operation) = 0;
};

#pragma GCC diagnostic pop

// The Windows Runtime functions of combase.dll, found at run time.
struct Runtime {
  HRESULT(WINAPI* RoInitialize)(int type) = nullptr;
  HRESULT(WINAPI* RoGetActivationFactory)(HSTRING classId, REFIID iid, void** factory) = nullptr;
  HRESULT(WINAPI* WindowsCreateString)(const WCHAR* text, UINT32 length, HSTRING* string) = nullptr;
  HRESULT(WINAPI* WindowsDeleteString)(HSTRING string) = nullptr;
  const WCHAR*(WINAPI* WindowsGetStringRawBuffer)(HSTRING string, UINT32* length) = nullptr;

  // Loads them; false, with the reason in one line, where this Windows has none.
  bool Load(std::string& error);
  // The text of an HSTRING in UTF-8 (a null HSTRING is the empty text), which it deletes.
  std::string Take(HSTRING string) const;
};

// The text of an HRESULT: 0x80040154.
std::string HresultText(HRESULT result);

}  // namespace lumora::sources::winrt
