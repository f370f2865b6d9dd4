"""The fixed names of the end-to-end rig: install paths, the monitor's texts and control ids, colours,
window messages, and how Wine is run. Every piece of the rig and every test reads them from here."""

import os

DESKTOP = "shell,1024x768"
SCREEN = "1024x768x24"
WINE_FONTS = "/usr/share/wine/fonts"  # fonts-wine

MONITOR_DIR = r"C:\Monitor"
MONITOR_EXE = MONITOR_DIR + r"\PelluxMONITOR.exe"
CONTROLLER_DIR = r"C:\Program Files\Pellux"
CONTROLLER_EXE = CONTROLLER_DIR + r"\Pellux.exe"
JAVAW_EXE = CONTROLLER_DIR + r"\jre\bin\javaw.exe"
BRIDGE_DIR = r"C:\Program Files\Ferrowin\LINTARO"
BRIDGE_EXE = BRIDGE_DIR + r"\LINTARO.exe"
TRAP_EXE = r"C:\Program.exe"
TRAP_MARKER = r"C:\trap-ran.txt"
DRIVER_DIR = r"C:\e2e"
DRIVER_EXE = DRIVER_DIR + r"\pellux_driver.exe"

# Control ids of the main window.
TBPORT, CBPELLUX, CBLINTARO, LABEL1, LBLMSG, IMAGE1, PICHOOK = 101, 102, 103, 104, 105, 106, 107

BEFORE = "Timer1 - BEFORE 'CALL Pellux_MONITOR'"
AFTER = "Timer1 - AFTER 'CALL Pellux_MONITOR'"
VERSION_TIP = "PelluxMONITOR - v1.0.0.0"
LAUNCH_CLAIM = r"Global\PelluxMONITOR.Launch"  # held by the monitor of the session that launches
HOLDING_TIP = "PelluxMONITOR - Holding"

GREEN, RED, WHITE, BLACK, MAGENTA, GREY = 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0xFF00FF, 0xE0E0E0
AMBER = 0x00BFFF  # a program of another session

WM_CLOSE, WM_COMMAND, WM_KEYDOWN, WM_KEYUP, BM_CLICK = 0x0010, 0x0111, 0x0100, 0x0101, 0x00F5
VK_TAB, VK_SPACE, VK_RETURN = 0x09, 0x20, 0x0D
IDOK = 1
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_SYSMENU, WS_THICKFRAME = 0x00020000, 0x00010000, 0x00080000, 0x00040000
WS_EX_APPWINDOW, WS_EX_TOOLWINDOW = 0x00040000, 0x00000080

# Wine keeps no event log, but with these channels it prints every
# ReportEventW call: a line with its type and event id, then one line per
# string at the event's level (trace = information, warn, err).
EVENT_DEBUG = "-all,err+all,+eventlog,fixme+advapi"  # Wine's own errors too, shown when a test fails
EVENT_LEVELS = {0x0001: "error", 0x0002: "warning", 0x0004: "information"}

# With 32-bit Wine installed, Debian's `wine` is the 32-bit loader: it runs
# Wine's own programs (explorer, reg, msiexec) in their 32-bit builds, so the
# shell's tray records and HKLM's view are the 32-bit ones, and it starts a
# 64-bit exe through a 32-bit start.exe. A 64-bit Windows runs its shell and
# tools 64-bit: the rig calls the 64-bit loader itself when there is one.
WINE64 = "/usr/lib/wine/wine64"
WINE = WINE64 if os.access(WINE64, os.X_OK) else "wine"
