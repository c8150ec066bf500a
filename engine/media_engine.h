// The media state engine: the Agent State, the Session Table and Picture Session List, the
// handler of every event code and power message, the now-playing composers and the shared
// display routines. The main window owns one engine and routes every message to it.
//
// Every handler changes the Agent State and the collections whether or not the panel is open,
// and sends its packets in exactly the order of its steps.
#pragma once

#include <cstdint>

#include "app/media_event.h"
#include "app/platform.h"
#include "engine/agent_state.h"
#include "engine/session_table.h"
#include "panel/vfd_cmd.h"

namespace lumora {

class MediaEngine {
 public:
  MediaEngine(Platform& platform, CVFDCmd& panel, ProcessState& process);

  // --- Resets ---
  // The dialog initialisation's reset of the Agent State, the collections and the power state.
  void StartupReset();

  // --- Entry points of the window routing ---
  // Dispatches a Media State Event by its code, after the power filter.
  void HandleEvent(const MediaStateEvent& event);
  void OnEndSession();      // WM_ENDSESSION with wParam 1
  void OnSuspend();         // PBT_APMSUSPEND
  void OnReturnToNormal();  // PBT_APMRESUMECRITICAL, PBT_APMRESUMEAUTOMATIC
  void OnResume();          // PBT_APMRESUMESUSPEND: the panel is rebuilt
  void OnEnterQuiet();      // power event 21
  void OnLeaveQuiet();      // power event 22: the panel is rebuilt
  // The clock refresh of timer 1. Returns true when the window is to be hidden again (the
  // power state is normal or quiet).
  bool OnClockTick();

  // --- Event handlers, one per event code ---
  void OnSessionOpened(const MediaStateEvent& event);
  void OnSessionClosed(const MediaStateEvent& event);
  void OnNavigation(const MediaStateEvent& event);
  void OnDiscStarted(const MediaStateEvent& event);
  void OnCdStarted(const MediaStateEvent& event);
  void OnMusicStarted(const MediaStateEvent& event);
  void OnVideoStarted(const MediaStateEvent& event);
  void OnLiveTvStarted(const MediaStateEvent& event);
  void OnRecordedTvStarted(const MediaStateEvent& event);
  void OnPicturesStarted(const MediaStateEvent& event);
  void OnRadioStarted(const MediaStateEvent& event);
  void OnPhoneCallStarted(const MediaStateEvent& event);
  void OnAuxIndicatorOn(const MediaStateEvent& event);
  void OnAuxIndicatorOff(const MediaStateEvent& event);
  void OnLevel(const MediaStateEvent& event);
  void OnPlay(const MediaStateEvent& event);
  void OnPause(const MediaStateEvent& event);
  void OnStop(const MediaStateEvent& event);
  void OnScanEnd(const MediaStateEvent& event);
  void OnSessionIndicatorOn(const MediaStateEvent& event);
  void OnSessionIndicatorOff(const MediaStateEvent& event);
  void OnSessionMarked(const MediaStateEvent& event);
  void OnEject(const MediaStateEvent& event);
  void OnScanA(const MediaStateEvent& event);
  void OnScanB(const MediaStateEvent& event);
  void OnItemNumber(const MediaStateEvent& event);
  void OnMediaName(const MediaStateEvent& event);
  void OnExtraText(const MediaStateEvent& event);
  void OnPlayTime(const MediaStateEvent& event);
  void OnMusicTitle(const MediaStateEvent& event);
  void OnTitleNumber(const MediaStateEvent& event);
  void OnPictureName(const MediaStateEvent& event);
  void OnRadioFrequency(const MediaStateEvent& event);
  void OnCallerText(const MediaStateEvent& event);
  void OnMoreProgram(const MediaStateEvent& event);

  // --- Now-playing composers ---
  void ComposeStopped(int32_t sessionId);
  void ComposePlaying(int32_t sessionId);
  void RefreshPlaying(int32_t sessionId);
  void RefreshNowPlaying(int32_t sessionId);
  void ShowCaller(const char* text);
  void ClearTransport(uint8_t mode);
  void ClockOffForRecordedTv(int32_t sessionId);

  // --- Display routines ---
  void LeaveMediaMode(int32_t sessionId, int32_t force);
  void RestoreMediaDisplay();
  void ShowMenuName();
  void ShowModeMenuName(uint8_t mode);
  void ShowLine2Text(const char* text);
  void ShowLine2Clipped(const char* text);
  void ShowFrequency(const char* text);

  // --- Inspection ---
  const AgentState& state() const { return state_; }
  AgentState& state() { return state_; }
  const SessionTable& sessions() const { return sessions_; }
  SessionTable& sessions() { return sessions_; }
  const PictureSessionList& pictureSessions() const { return pictures_; }
  PictureSessionList& pictureSessions() { return pictures_; }
  const ProcessState& process() const { return process_; }

 private:
  void StartMedia(int32_t sessionId, uint8_t mode);
  void LightModeIcon(uint8_t mode);
  void RebuildPanel(bool fromSuspend);
  void RedrawNowPlaying(bool withStoppedForms);
  void WriteNowPlayingLine2(uint8_t mode, bool stoppedForm);
  void WriteTimeLine(const char* time, bool stopped);
  void TransportIconRefresh(int32_t stopped, int32_t playing, int32_t paused);
  void PanelSleep();

  Platform& platform_;
  CVFDCmd& panel_;
  ProcessState& process_;
  AgentState state_;
  SessionTable sessions_;
  PictureSessionList pictures_;
};

}  // namespace lumora
