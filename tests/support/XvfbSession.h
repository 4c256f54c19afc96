// Real FLTK windows on a private Xvfb server, driven by X events and
// photographed pixel for pixel; shared by the GUI tests.
#pragma once

#include "platform/ui/Window.h"

// GoogleTest comes before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>
#include <cairo.h>

#include <memory>
#include <string>

namespace tarvel::test {

// Starts Xvfb before the first test and stops it after the last, so the
// pixels never depend on the developer's display, its depth or its window
// manager. Call once, at static initialisation.
const ::testing::Environment* UsePrivateXvfb();

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// The FLTK widget behind a window handle; null for a stale one.
Fl_Widget* WidgetOf(HWND window);

// Lets the server and FLTK settle: pending events handled, drawing done.
void Settle(int rounds = 10);

// A left click at a point of the window, as the server would deliver it.
void SendButton(Fl_Window* window, int x, int y);

// Clicks a dialog's control the way a pointer would; the click is handled
// by whatever loop runs next.
void ClickControl(HWND dialog, int id);

// Types the characters ('\r' is Return, '\x1b' Escape) into the window;
// they are handled by whatever loop runs next.
void SendKeys(Fl_Window* window, const std::string& keys);

// A still picture of a shown window: no control keeps the focus, so no
// focus frame or text cursor depends on timing. Null when it has none.
Surface Photograph(HWND window);

// Saves the shot into the scratch folder and compares it with
// tests/data/<area>/<name>-ref.png, pixel for pixel.
void ExpectMatchesReference(cairo_surface_t* shot, const std::string& area, const std::string& name);

}  // namespace tarvel::test
