#pragma once

#include <functional>

class MainWidget;

// Calls `done` once, when both views of the window have put their first
// complete picture on screen (each has had its first frameSwapped: the window
// has composed the view's picture and swapped it to the screen).
void whenFirstPicturesShown(const MainWidget& window, std::function<void()> done);

// With LUMIDRA_TRACE_STARTUP set in the environment, prints one line to
// standard error once both views have put their first complete picture on
// screen: "lumidra: start-up complete at <seconds> (CLOCK_MONOTONIC)". A
// benchmark that reads the same clock before it starts the program gets the
// start-up time from it. Without the variable nothing is watched.
void traceStartupIfAsked(const MainWidget& window);
