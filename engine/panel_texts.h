// Every text the engine writes on the panel's two lines, in one place and named by what it
// shows. The blanks inside and after the formats are part of the panel's layout: each text
// overwrites what the line held before, so the trailing blanks clear the rest of the old text.
#pragma once

namespace lumora::panel_text {

// Live TV: the channel number.
inline constexpr char kChannel[] = "CH-%03d     ";
inline constexpr char kChannelStopped[] = "CH-%03d Stop ";
inline constexpr char kChannelAsSent[] = "CH-%s      ";  // the number exactly as it came

// CD: the track number.
inline constexpr char kTrack[] = "TR-%03d     ";
inline constexpr char kTrackStopped[] = "TR-%03d      ";
inline constexpr char kTrackAsSent[] = "TR-%s  ";
inline constexpr char kTrackRestored[] = "T-%03d";

// DVD: the title and chapter numbers.
inline constexpr char kTitleChapter[] = "T-%02d CH-%03d";
inline constexpr char kTitleChapterNewTitle[] = "T-%02d CH-%03d  ";
inline constexpr char kTitleChapterAsSent[] = "T-%02d CH-%s  ";
inline constexpr char kTitleChapterRestored[] = "T-%02d  C-%02d";

// VCD: the disc's name or the item number as they came.
inline constexpr char kVcdText[] = "%s  ";

// Line 3: the elapsed play time from its six characters HHMMSS; stopped, with an asterisk.
inline constexpr char kPlayTime[] = "    %c%c:%c%c:%c%c";
inline constexpr char kPlayTimeStopped[] = "*   %c%c:%c%c:%c%c";

// Radio: the frequency from its eight or nine digits.
inline constexpr char kFrequencyOf8Digits[] = "FM-0%c%c.%c";
inline constexpr char kFrequencyOf9Digits[] = "FM-%c%c%c.%c";

// Fixed texts.
inline constexpr char kDiskEjected[] = "Disk Ejected";
inline constexpr char kPhoneCall[] = "Phone Call  ";
inline constexpr char kMoreProgram[] = "More Program";
// What a line holds once it has been emptied; line 3 before the caller's text.
inline constexpr char kBlank[] = "   ";
inline constexpr char kBlankLine3[] = "            ";

}  // namespace lumora::panel_text
