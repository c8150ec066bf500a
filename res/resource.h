// Resource identifiers of Lumora.exe, shared by the resource script and the Windows host.
#pragma once

// The main window: dialog template 102, run as a modal dialog of its own window class (a dialog
// class registered with DLGWINDOWEXTRA), so that the agent's window procedure sees every
// message of the window from its creation on.
#define IDD_AGENT_DIALOG 102
#define LUMORA_DIALOG_CLASS "LumoraAgentDialog"

// The list box of the main window: attached at initialisation, never filled or read.
#define IDC_AGENT_LIST 1000

// The application icon: one group with a 32 x 32 and a 16 x 16 image, 16 colours each.
#define IDR_MAINFRAME 128
