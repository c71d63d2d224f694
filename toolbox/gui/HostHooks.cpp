#include "toolbox/gui/HostHooks.h"

#include <utility>

namespace {

ModalAnswerer gModalAnswerer;
InputSource gInputSource;

} // namespace

ModalAnswerer SetModalAnswerer(const ModalAnswerer& answerer) {
    return std::exchange(gModalAnswerer, answerer);
}

const ModalAnswerer& GetModalAnswerer() {
    return gModalAnswerer;
}

InputSource SetInputSource(const InputSource& source) {
    return std::exchange(gInputSource, source);
}

const InputSource& GetInputSource() {
    return gInputSource;
}
