// The identifiers of the Windows Runtime types the media-sessions source uses, portable: the
// interfaces' IIDs as Windows publishes them, and the type signatures of the parameterized
// interfaces, whose IIDs are computed from them (winrt_iid.h).
//
// Source of every IID and of the method order in media_control_win32.h: the Windows metadata
// of the namespace Windows.Media.Control (UniversalApiContract 7, Windows 10 1809), as
// Microsoft documents it on learn.microsoft.com ("Windows.Media.Control Namespace":
// GlobalSystemMediaTransportControlsSessionManager, ...Session, ...MediaProperties,
// ...PlaybackInfo, ...TimelineProperties, and the event argument classes) and as published in
// the open Windows bindings generated from that metadata (the windows.media.control.h of the
// Windows SDK; Microsoft's windows-rs, crate windows, module Windows::Media::Control). The
// generic interfaces' own IIDs (the piid of IAsyncOperation`1, TypedEventHandler`2, ...) are
// those of Windows.Foundation in the same metadata.
#pragma once

#include <string_view>

#include "sources/media_sessions/winrt_iid.h"

namespace lumora::sources::winrt {

// The class the follower activates.
inline constexpr std::wstring_view kManagerClass =
    L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager";

// Interfaces of Windows.Media.Control.
inline constexpr Guid kIidManagerStatics = ParseGuid("2050c4ee-11a0-57de-aed7-c97c70338245");
inline constexpr Guid kIidManager = ParseGuid("cace8eac-e86e-504a-ab31-5ff8ff1bce49");
inline constexpr Guid kIidSession = ParseGuid("7148c835-9b14-5ae2-ab85-dc9b1c14e1a8");
inline constexpr Guid kIidMediaProperties = ParseGuid("68856cf6-adb4-54b2-ac16-05837907acb6");
inline constexpr Guid kIidPlaybackInfo = ParseGuid("94b4b6cf-e8ba-51ad-87a7-c10ade106127");
inline constexpr Guid kIidTimelineProperties = ParseGuid("ede34136-6f25-588d-8ecf-ea5b6735aaa5");
inline constexpr Guid kIidCurrentSessionChangedEventArgs =
    ParseGuid("6969cb39-0bfa-5fe0-8d73-09cc5e5408e1");
inline constexpr Guid kIidSessionsChangedEventArgs =
    ParseGuid("bbf0cd32-42c4-5a58-b317-f34bbfbd26e0");
inline constexpr Guid kIidMediaPropertiesChangedEventArgs =
    ParseGuid("7d3741cb-adf0-5cef-91ba-cfabcdd77678");
inline constexpr Guid kIidPlaybackInfoChangedEventArgs =
    ParseGuid("786756c2-bc0d-50a5-8807-054291fef139");
inline constexpr Guid kIidTimelinePropertiesChangedEventArgs =
    ParseGuid("29033a2f-c923-5a77-bcaf-055ff415ad32");

// Interfaces of COM and Windows.Foundation.
inline constexpr Guid kIidUnknown = ParseGuid("00000000-0000-0000-c000-000000000046");
inline constexpr Guid kIidAgileObject = ParseGuid("94ea2b94-e9cc-49e0-c0ff-ee64ca8f5b90");
inline constexpr Guid kIidInspectable = ParseGuid("af86e2e0-b12d-4c6a-9c5a-d7aa65101e90");
inline constexpr Guid kIidActivationFactory = ParseGuid("00000035-0000-0000-c000-000000000046");
inline constexpr Guid kIidAsyncInfo = ParseGuid("00000036-0000-0000-c000-000000000046");

// The signatures of the instances of parameterized interfaces used: generic interface's piid,
// then each argument's signature (a runtime class by its default interface).
#define LUMORA_RC(name, iid) "rc(Windows.Media.Control." name ";{" iid "})"
#define LUMORA_RC_MANAGER                                       \
  LUMORA_RC("GlobalSystemMediaTransportControlsSessionManager", \
            "cace8eac-e86e-504a-ab31-5ff8ff1bce49")
#define LUMORA_RC_SESSION \
  LUMORA_RC("GlobalSystemMediaTransportControlsSession", "7148c835-9b14-5ae2-ab85-dc9b1c14e1a8")
#define LUMORA_RC_MEDIA_PROPERTIES                                      \
  LUMORA_RC("GlobalSystemMediaTransportControlsSessionMediaProperties", \
            "68856cf6-adb4-54b2-ac16-05837907acb6")
#define LUMORA_ASYNC_OPERATION(t) "pinterface({9fc2b0bb-e446-44e2-aa61-9cab8f636af2};" t ")"
#define LUMORA_ASYNC_COMPLETED(t) "pinterface({fcdcf02c-e5d8-4478-915a-4d90b74b83a5};" t ")"
#define LUMORA_TYPED_HANDLER(s, a) "pinterface({9de1c534-6ae1-11e0-84e1-18a905bcc53f};" s ";" a ")"
#define LUMORA_VECTOR_VIEW(t) "pinterface({bbe1fa4c-b0e3-4583-baef-1f1b2e483e56};" t ")"
#define LUMORA_REFERENCE(t) "pinterface({61c17706-2d65-11e0-9ae8-d48564015472};" t ")"

inline constexpr std::string_view kSigAsyncManager = LUMORA_ASYNC_OPERATION(LUMORA_RC_MANAGER);
inline constexpr std::string_view kSigAsyncManagerCompleted =
    LUMORA_ASYNC_COMPLETED(LUMORA_RC_MANAGER);
inline constexpr std::string_view kSigAsyncMediaProperties =
    LUMORA_ASYNC_OPERATION(LUMORA_RC_MEDIA_PROPERTIES);
inline constexpr std::string_view kSigAsyncMediaPropertiesCompleted =
    LUMORA_ASYNC_COMPLETED(LUMORA_RC_MEDIA_PROPERTIES);
inline constexpr std::string_view kSigSessionList = LUMORA_VECTOR_VIEW(LUMORA_RC_SESSION);
inline constexpr std::string_view kSigCurrentSessionChanged = LUMORA_TYPED_HANDLER(
    LUMORA_RC_MANAGER,
    LUMORA_RC("CurrentSessionChangedEventArgs", "6969cb39-0bfa-5fe0-8d73-09cc5e5408e1"));
inline constexpr std::string_view kSigSessionsChanged = LUMORA_TYPED_HANDLER(
    LUMORA_RC_MANAGER,
    LUMORA_RC("SessionsChangedEventArgs", "bbf0cd32-42c4-5a58-b317-f34bbfbd26e0"));
inline constexpr std::string_view kSigMediaPropertiesChanged = LUMORA_TYPED_HANDLER(
    LUMORA_RC_SESSION,
    LUMORA_RC("MediaPropertiesChangedEventArgs", "7d3741cb-adf0-5cef-91ba-cfabcdd77678"));
inline constexpr std::string_view kSigPlaybackInfoChanged = LUMORA_TYPED_HANDLER(
    LUMORA_RC_SESSION,
    LUMORA_RC("PlaybackInfoChangedEventArgs", "786756c2-bc0d-50a5-8807-054291fef139"));
inline constexpr std::string_view kSigTimelinePropertiesChanged = LUMORA_TYPED_HANDLER(
    LUMORA_RC_SESSION,
    LUMORA_RC("TimelinePropertiesChangedEventArgs", "29033a2f-c923-5a77-bcaf-055ff415ad32"));
inline constexpr std::string_view kSigPlaybackTypeReference =
    LUMORA_REFERENCE("enum(Windows.Media.MediaPlaybackType;i4)");
inline constexpr std::string_view kSigDoubleReference = LUMORA_REFERENCE("f8");

#undef LUMORA_RC
#undef LUMORA_RC_MANAGER
#undef LUMORA_RC_SESSION
#undef LUMORA_RC_MEDIA_PROPERTIES
#undef LUMORA_ASYNC_OPERATION
#undef LUMORA_ASYNC_COMPLETED
#undef LUMORA_TYPED_HANDLER
#undef LUMORA_VECTOR_VIEW
#undef LUMORA_REFERENCE

// Their IIDs, computed when the follower is compiled.
inline constexpr Guid kIidAsyncManager = ParameterizedIid(kSigAsyncManager);
inline constexpr Guid kIidAsyncManagerCompleted = ParameterizedIid(kSigAsyncManagerCompleted);
inline constexpr Guid kIidAsyncMediaProperties = ParameterizedIid(kSigAsyncMediaProperties);
inline constexpr Guid kIidAsyncMediaPropertiesCompleted =
    ParameterizedIid(kSigAsyncMediaPropertiesCompleted);
inline constexpr Guid kIidSessionList = ParameterizedIid(kSigSessionList);
inline constexpr Guid kIidCurrentSessionChanged = ParameterizedIid(kSigCurrentSessionChanged);
inline constexpr Guid kIidSessionsChanged = ParameterizedIid(kSigSessionsChanged);
inline constexpr Guid kIidMediaPropertiesChanged = ParameterizedIid(kSigMediaPropertiesChanged);
inline constexpr Guid kIidPlaybackInfoChanged = ParameterizedIid(kSigPlaybackInfoChanged);
inline constexpr Guid kIidTimelinePropertiesChanged =
    ParameterizedIid(kSigTimelinePropertiesChanged);
inline constexpr Guid kIidPlaybackTypeReference = ParameterizedIid(kSigPlaybackTypeReference);
inline constexpr Guid kIidDoubleReference = ParameterizedIid(kSigDoubleReference);

}  // namespace lumora::sources::winrt
