#include "link/usbmonitor.h"

#include <libudev.h>
#include <poll.h>

int DeviceCount(TD2xx& d2xx) {
    std::uint32_t count = 0;
    if (d2xx.ListDevices(&count, nullptr, D2xxListNumberOnly) != D2xxOk) return 0;
    return static_cast<int>(count);
}

TUsbMonitor::TUsbMonitor(TCallback onChange) : onChange_(std::move(onChange)) {
    udev_ = udev_new();
    if (!udev_) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) return;
    // Whole USB devices only: an adapter also brings interfaces and a tty, which would report it twice.
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
}

TUsbMonitor::~TUsbMonitor() {
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

int TUsbMonitor::Fd() const { return monitor_ ? udev_monitor_get_fd(monitor_) : -1; }

bool TUsbMonitor::HandleEvent(const std::string& action, const std::string& devType) {
    if (devType != "usb_device") return false;
    if (action == "add") {
        if (onChange_) onChange_(TUsbChange::Plugged);
        return true;
    }
    if (action == "remove") {
        if (onChange_) onChange_(TUsbChange::Unplugged);
        return true;
    }
    return false;
}

int TUsbMonitor::Dispatch(int timeoutMs) {
    if (!monitor_) return 0;
    int reported = 0;
    for (int wait = timeoutMs;; wait = 0) {
        pollfd p{udev_monitor_get_fd(monitor_), POLLIN, 0};
        if (::poll(&p, 1, wait) <= 0 || !(p.revents & POLLIN)) return reported;
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (!device) return reported;
        const char* action = udev_device_get_action(device);
        const char* type = udev_device_get_devtype(device);
        if (HandleEvent(action ? action : "", type ? type : "")) ++reported;
        udev_device_unref(device);
    }
}
