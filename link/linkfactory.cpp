#include "link/linkfactory.h"

TLinkFactory& UsbLinkFactory() {
    static TLinkFactory factory;
    return factory;
}
