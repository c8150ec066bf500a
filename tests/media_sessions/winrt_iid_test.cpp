// The parameterized interfaces' IIDs the follower asks Windows for, each derived from its type
// signature, against the value Windows publishes for it (the windows.media.control.h and
// windows.foundation.h of the Windows SDK, the same values in Microsoft's windows-rs). A wrong
// signature, a wrong namespace, a wrong byte order or a missing version bit each gives another
// GUID.
#include <gtest/gtest.h>

#include <ostream>
#include <string_view>

#include "sources/media_sessions/media_control_ids.h"
#include "sources/media_sessions/winrt_iid.h"

namespace lumora::sources::winrt {
namespace {

struct Case {
  const char* what;
  Guid derived;
  std::string_view published;
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.what;
}

class Published : public ::testing::TestWithParam<Case> {};

TEST_P(Published, DerivedFromTheSignature) {
  EXPECT_EQ(GuidText(GetParam().derived), GetParam().published);
}

INSTANTIATE_TEST_SUITE_P(
    Iids, Published,
    ::testing::Values(
        // Two of Windows.Foundation's own, which check the algorithm on a plain type.
        Case{"IReference<Double>",
             ParameterizedIid("pinterface({61c17706-2d65-11e0-9ae8-"
                              "d48564015472};f8)"),
             "{2f2d6c29-5473-5f3e-92e7-96572bb990e2}"},
        Case{"IVectorView<String>",
             ParameterizedIid("pinterface({bbe1fa4c-b0e3-4583-baef-1f1b2e483e56};string)"),
             "{2f13c006-a03a-5f69-b090-75a43e33423e}"},
        Case{"IAsyncOperation<Manager>", kIidAsyncManager,
             "{3eec115e-7346-5c27-8c5f-da78514a277b}"},
        Case{"AsyncOperationCompletedHandler<Manager>", kIidAsyncManagerCompleted,
             "{10f0074e-923d-5510-8f4a-dde37754ca0e}"},
        Case{"IAsyncOperation<MediaProperties>", kIidAsyncMediaProperties,
             "{b185e6f3-e0d8-51cb-913f-c98d48c93c46}"},
        Case{"AsyncOperationCompletedHandler<MediaProperties>", kIidAsyncMediaPropertiesCompleted,
             "{84593a3d-951a-55b6-8353-5205e577797b}"},
        Case{"IVectorView<Session>", kIidSessionList, "{9b2672da-5088-5a1d-acd9-a3fc5ef1cfa4}"},
        Case{"TypedEventHandler<Manager, CurrentSessionChangedEventArgs>",
             kIidCurrentSessionChanged, "{228bd0ed-1fa2-5e9b-a6ec-42566173103b}"},
        Case{"TypedEventHandler<Manager, SessionsChangedEventArgs>", kIidSessionsChanged,
             "{2e2a8630-dc8c-530a-9746-bc984d4b029e}"},
        Case{"TypedEventHandler<Session, MediaPropertiesChangedEventArgs>",
             kIidMediaPropertiesChanged, "{0f2ce2b7-afa7-5ed0-8cb6-8c40cf9b3a5f}"},
        Case{"TypedEventHandler<Session, PlaybackInfoChangedEventArgs>", kIidPlaybackInfoChanged,
             "{2bdf1426-d41f-5896-897f-efc0b0fa7392}"},
        Case{"TypedEventHandler<Session, TimelinePropertiesChangedEventArgs>",
             kIidTimelinePropertiesChanged, "{e8bf62af-fac1-5fff-9053-0bf191ae777e}"},
        Case{"IReference<MediaPlaybackType>", kIidPlaybackTypeReference,
             "{e289f7d8-6ba7-50ab-9f13-6e4e51d15ca4}"},
        Case{"IReference<Double> (the header's)", kIidDoubleReference,
             "{2f2d6c29-5473-5f3e-92e7-96572bb990e2}"}));

// The text form reads back to the same GUID, and what is not a GUID is the zero one.
TEST(GuidText, ReadsBack) {
  EXPECT_EQ(ParseGuid(GuidText(kIidManager)), kIidManager);
  EXPECT_EQ(GuidText(kIidManager), "{cace8eac-e86e-504a-ab31-5ff8ff1bce49}");
  EXPECT_EQ(ParseGuid("{cace8eac-e86e-504a-ab31-5ff8ff1bce4}"), Guid{});
  EXPECT_EQ(ParseGuid("cace8eac-e86e-504a-ab31-5ff8ff1bce4g"), Guid{});
}

}  // namespace
}  // namespace lumora::sources::winrt
