// Presence of USB serial adapters: the count for the port picture, and a watch on USB devices coming
// and going so that the picture follows the cable without re-creating the link.
//
// A desktop front end counts with DeviceCount(*SystemD2xx()) (d2xxftdi.h), watches Fd() for
// readability in its event loop, calls Dispatch() when it is readable, and redraws the port picture
// (without re-creating the link) from the callback.
#pragma once

#include <functional>
#include <string>

#include "link/d2xx.h"

// The number of attached adapters; 0 when the library cannot tell.
int DeviceCount(TD2xx& d2xx);

enum class TUsbChange { Plugged, Unplugged };

// Watches USB devices through udev. Where udev cannot be reached or sends nothing (a container, a
// machine without udevd), the monitor stays inactive or silent: nothing fails and no callback comes.
// Single-threaded: the host watches Fd() for readability (or calls Dispatch on a timer) and calls
// Dispatch on its own thread, which runs the callback for each change.
class TUsbMonitor {
   public:
    using TCallback = std::function<void(TUsbChange)>;
    explicit TUsbMonitor(TCallback onChange);
    ~TUsbMonitor();
    TUsbMonitor(const TUsbMonitor&) = delete;
    TUsbMonitor& operator=(const TUsbMonitor&) = delete;

    // True when udev events can arrive.
    bool Active() const { return monitor_ != nullptr; }
    // The descriptor that becomes readable when an event waits; -1 when inactive.
    int Fd() const;
    // Handles the events waiting, waiting at most timeoutMs for the first (0 = none); returns how many
    // changes were reported.
    int Dispatch(int timeoutMs = 0);
    // One udev event as its action and device type; reports it when it is a USB device added or
    // removed. Returns true when the callback ran.
    bool HandleEvent(const std::string& action, const std::string& devType);

   private:
    TCallback onChange_;
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
};
