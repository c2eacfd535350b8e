#include "platform/SerialDevice.h"

#include "platform/SerialLinux.h"

#include <mutex>

namespace platform {

namespace {

std::mutex g_factoryMutex;
SerialDeviceFactory g_factory;

} // namespace

std::unique_ptr<SerialDevice> CreateSerialDevice()
{
    SerialDeviceFactory factory = CurrentSerialDeviceFactory();
    if (factory)
        return factory();
    return std::make_unique<LinuxSerialDevice>();
}

void SetSerialDeviceFactory(SerialDeviceFactory factory)
{
    std::lock_guard lock(g_factoryMutex);
    g_factory = std::move(factory);
}

SerialDeviceFactory CurrentSerialDeviceFactory()
{
    std::lock_guard lock(g_factoryMutex);
    return g_factory;
}

} // namespace platform
