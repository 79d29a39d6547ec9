// Reading other windows' properties: one typed wrapper over XGetWindowProperty, and the
// few properties the desktop module needs. Internal to the x11 backend. Every read may
// meet a window that has just vanished: the caller holds an ErrorTrap, or lets the
// connection's handler log the error; a failed read gives an empty result.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

namespace platform::x11 {

// The 32-bit items of a property (CARDINAL, ATOM, WINDOW...), each as an unsigned long;
// nullopt when the window has no such property of that type.
std::optional<std::vector<unsigned long>> GetProperty32(Display* display, Window window,
                                                        Atom property, Atom type);
std::optional<std::string> GetPropertyBytes(Display* display, Window window, Atom property,
                                            Atom type);

// _NET_WM_NAME (UTF-8), else WM_NAME.
std::wstring GetTitle(Display* display, Window window);
// Sets both: _NET_WM_NAME in UTF-8, WM_NAME in Latin-1 (what Latin-1 cannot hold as '?')
// for clients that read only the old property.
void SetTitle(Display* display, Window window, const std::wstring& title);
// The class part of WM_CLASS.
std::wstring GetClassPart(Display* display, Window window);
bool HasProperty(Display* display, Window window, const char* name);
// The window's client: itself when it has WM_STATE, else the first descendant with
// WM_STATE (a window manager's frame holds one), else the window itself.
Window ClientOf(Display* display, Window window);
// The top-level window (a child of the root, or a managed client) that holds window.
Window TopLevelOf(Display* display, Window window);
Window ParentOf(Display* display, Window window);
// The children of a window, bottom of the stacking order first.
std::vector<Window> ChildrenOf(Display* display, Window window);
// _NET_WM_PID, else the X-Resource extension's pid of the client that made the window;
// 0 when neither is known.
unsigned long ProcessIdOf(Display* display, Window window);
// True when a window manager announces itself (_NET_SUPPORTING_WM_CHECK names a window
// that exists). Call it under an ErrorTrap: a manager that ended leaves the property
// naming a window that is gone.
bool WindowManagerPresent(Display* display);

}  // namespace platform::x11
