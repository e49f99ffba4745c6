// How front ends get a USB link without depending on how it is built: the USB realisation registers
// its factory here (once, at start-up, before any command runs); a null factory means no USB link.
#pragma once

#include <functional>
#include <memory>

#include "link/portvirt.h"

using TLinkFactory = std::function<std::unique_ptr<TPortVirt>(TLinkHost& host, TLinkClock& clock)>;

TLinkFactory& UsbLinkFactory();
