// The media state engine: the Agent State, the Session Table and Picture Session List, and what
// every event code and power message does to them and to the panel. The main window owns one
// engine and calls its entry points; the handlers, composers and display routines behind them
// are the engine's own business.
//
// Every handler changes the Agent State and the collections whether or not the panel is open,
// and sends its packets in exactly the order of its steps.
#pragma once

#include <cstdint>

#include "base/media_event.h"
#include "base/platform.h"
#include "engine/agent_state.h"
#include "engine/session_table.h"
#include "panel/vfd_cmd.h"

namespace lumora {

class MediaEngine {
 public:
  MediaEngine(Platform& platform, CVFDCmd& panel, ProcessState& process);

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

  // Whether an event code reports a menu of the shell (a navigation event).
  static bool IsNavigationEvent(uint16_t code);

  // --- Inspection, for the tests, the invariant checks and a host's status ---
  const AgentState& state() const { return state_; }
  const SessionTable& sessions() const { return sessions_; }
  const PictureSessionList& pictureSessions() const { return pictures_; }

 private:
  // The invariant tests break the model on purpose to prove that the checks fire.
  friend class EngineTestAccess;

  using Handler = void (MediaEngine::*)(const MediaStateEvent&);
  // The handler of an event code; null for a code that has no effect.
  static Handler FindHandler(uint16_t code);

  // --- Sessions and navigation ---
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
  void StartMedia(int32_t sessionId, uint8_t mode);

  // --- Transport and indicators ---
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
  void StartScan(int32_t sessionId, bool scanA);

  // --- Media texts ---
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

  // --- Power ---
  void RebuildPanel(bool fromSuspend);

  // --- Now-playing composers ---
  void ComposeStopped(int32_t sessionId);
  void ComposePlaying(int32_t sessionId);
  void RefreshPlaying(int32_t sessionId);
  void RefreshNowPlaying(int32_t sessionId);
  void ShowCaller(const char* text);
  void ClearTransport(uint8_t mode);
  void ClockOffForRecordedTv(int32_t sessionId);
  void LightModeIcon(uint8_t mode);
  void RedrawNowPlaying(bool withStoppedForms);
  void WriteNowPlayingLine2(uint8_t mode, bool stoppedForm);
  void WriteTimeLine(const char* time, bool stopped);
  void TransportIconRefresh(int32_t stopped, int32_t playing, int32_t paused);

  // --- Display routines ---
  void LeaveMediaMode(int32_t sessionId, int32_t force);
  void RestoreMediaDisplay();
  void ShowMenuName();
  void ShowModeMenuName(uint8_t mode);
  void ShowLine2Text(const char* text);
  void ShowLine2Clipped(const char* text);
  void ShowFrequency(const char* text);
  // One of the formats of engine/panel_texts.h, filled in, on a line at scroll 0.
  void WriteFormatted(uint8_t line, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void PanelSleep();

  Platform& platform_;
  CVFDCmd& panel_;
  ProcessState& process_;
  AgentState state_;
  SessionTable sessions_;
  PictureSessionList pictures_;
};

}  // namespace lumora
