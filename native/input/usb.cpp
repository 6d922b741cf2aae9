// The USB controller adapter over libusb-1.0. Owns the library's default context, the adapter's
// handle and endpoints and the connected/announced flags. Start-up (from module start-up) walks the
// device list, takes the first adapter from any kernel driver, claims its interface, finds its bulk
// endpoints and writes the start command; readAdapter (pollUSB, once per step) blocks for one report;
// the announcement (from `poll`) queues AdapterConnected once; shutdown (last step of `quit`) gives
// everything back. It never interprets a report: the host decodes USB_BUFFER. No hot-plug: an
// adapter that fails stays unused until the process ends. Every line goes to standard output,
// errors included. The pure decisions live in input/core/adapter.h.
//
// Sections: state | start-up | per-step read and announcement | shutdown
#include "input/usb.h"

#include <libusb.h>

#include "bridge/buffers.h"
#include "base/log.h"
#include "bridge/eventqueue.h"
#include "input/core/adapter.h"

namespace tsm::input {
static_assert(USB_ERROR_NOT_FOUND == LIBUSB_ERROR_NOT_FOUND);
static_assert(USB_ERROR_NOT_SUPPORTED == LIBUSB_ERROR_NOT_SUPPORTED);

namespace {
// --- state ------------------------------------------------------------------------------------

// The open adapter; set as soon as it opens, even if a later start-up step fails, so shutdown
// gives back whatever was taken.
libusb_device_handle* adapterHandle = nullptr;
uint8_t adapterReader = 0;
uint8_t adapterWriter = 0;
// Set once the start command was written; cleared for good by a failed read.
bool adapterConnected = false;
// Set once AdapterConnected is in the event queue; never cleared.
bool adapterAnnounced = false;

// --- start-up ---------------------------------------------------------------------------------

// Opens, claims and starts one adapter: 0, a negative libusb code, or ADAPTER_NO_* (100..102).
int openAdapter(libusb_device* device) {
  int r = libusb_open(device, &adapterHandle);
  if (r < 0) {
    adapterHandle = nullptr;
    logInfo("Unable to open adapter device: %s\n", libusb_error_name(r));
    return r;
  }

  const int active = libusb_kernel_driver_active(adapterHandle, ADAPTER_INTERFACE);
  switch (classifyDriverQuery(active)) {
    case DriverQuery::Detach:
      r = libusb_detach_kernel_driver(adapterHandle, ADAPTER_INTERFACE);
      if (detachFailed(r)) logInfo("Error detaching kernel driver: %s\n", libusb_error_name(r));
      break;
    case DriverQuery::Failed:
      logInfo("Error checking kernel driver: %s\n", libusb_error_name(active));
      break;
    case DriverQuery::None:
      break;
  }

  r = libusb_claim_interface(adapterHandle, ADAPTER_INTERFACE);
  if (r < 0) {
    logInfo("Unable to claim adapter interface: %s\n", libusb_error_name(r));
    return r;
  }

  libusb_config_descriptor* config = nullptr;
  r = libusb_get_config_descriptor(device, 0, &config);
  if (r < 0) {
    logInfo("Unable to get config descriptor: %s\n", libusb_error_name(r));
    return r;
  }

  const int interfaceCount = config->bNumInterfaces;
  const int altsettingCount = interfaceCount > 0 ? config->interface[0].num_altsetting : 0;
  AdapterEndpoints endpoints;
  if (altsettingCount > 0) {
    const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
    for (int i = 0; i < setting.bNumEndpoints; ++i) noteEndpoint(endpoints, setting.endpoint[i].bEndpointAddress);
  }
  const int layout = adapterLayoutResult(interfaceCount, altsettingCount, endpoints);
  libusb_free_config_descriptor(config);
  if (layout == ADAPTER_NO_INTERFACES) {
    logInfo("Adapter claims to not have interfaces?\n");
    return layout;
  }
  if (layout == ADAPTER_NO_ALTSETTINGS) {
    logInfo("Interface claims to not have altsettings?\n");
    return layout;
  }
  adapterReader = endpoints.reader;
  adapterWriter = endpoints.writer;
  if (layout == ADAPTER_NO_ENDPOINTS) {
    logInfo("Did not find reader (%i) or writer (%i)\n", int{adapterReader}, int{adapterWriter});
    return layout;
  }

  uint8_t command = ADAPTER_INIT_COMMAND;
  int written = 0;
  r = libusb_bulk_transfer(adapterHandle, adapterWriter, &command, 1, &written, 0);
  if (r < 0) {
    logInfo("Unable to write to adapter: %s\n", libusb_error_name(r));
    return r;
  }

  adapterConnected = true;
  logInfo("All good in the adapter\n");
  return 0;
}
}  // namespace

void initUSB() {
  int r = libusb_init(nullptr);
  if (r < 0) {
    logInfo("Error initializing libusb: (%i) %s\n", r, libusb_error_name(r));
    logInfo("Error initializing USB\n");
    return;
  }

  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(nullptr, &list);
  if (count < 0) {
    logInfo("Error encountered trying to get device list: %s\n", libusb_error_name(static_cast<int>(count)));
    logInfo("Error initializing USB\n");
    return;
  }

  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor;
    r = libusb_get_device_descriptor(list[i], &descriptor);
    if (r < 0) {
      logInfo("Error encountered when getting adapter device descriptor: %s\n", libusb_error_name(r));
      libusb_free_device_list(list, 1);
      logInfo("Error initializing USB\n");
      return;
    }
    if (!isAdapter(descriptor.idVendor, descriptor.idProduct)) continue;
    // Only the first adapter is tried, whatever happens to it.
    if (openAdapter(list[i]) != 0) {
      logInfo("Error encountered trying to connect adapter\n");
      libusb_free_device_list(list, 1);
      logInfo("Error initializing USB\n");
      return;
    }
    break;
  }
  libusb_free_device_list(list, 1);
}

// --- per-step read and announcement -----------------------------------------------------------

void readAdapter() {
  if (adapterHandle && adapterConnected) {
    // The read lands in a block of the report's size and is then copied as far as USB_BUFFER
    // holds it, so a short USB_BUFFER is never overrun.
    uint8_t report[ADAPTER_REPORT_SIZE];
    int received = 0;
    const int r = libusb_bulk_transfer(adapterHandle, adapterReader, report, ADAPTER_REPORT_SIZE, &received, 0);
    if (received > 0) {
      storeReport(bridge::blockData(bridge::USB_BUFFER), bridge::blockBytes(bridge::USB_BUFFER), report,
                  static_cast<size_t>(received));
    }
    if (r < 0) {
      logInfo("Error reading from adapter: %s\n", libusb_error_name(r));
      adapterConnected = false;
    } else if (received != ADAPTER_REPORT_SIZE) {
      logInfo("Incorrect byte length read: %i", received);
    }
  }
}

void announceAdapter() {
  if (adapterAnnounced || !adapterConnected) return;
  bridge::EventWriter writer = bridge::openEventQueue();
  // A full queue drops the record whole; the announcement then waits for the next poll instead of
  // being lost for the rest of the run.
  if (!writer.adapterConnected()) return;
  bridge::closeEventQueue(writer);
  adapterAnnounced = true;
  logInfo("Sent AdapterConnected\n");
}

// --- shutdown ---------------------------------------------------------------------------------

void closeUSB() {
  logInfo("Closing USB\n");
  if (adapterHandle) {
    int r = libusb_release_interface(adapterHandle, ADAPTER_INTERFACE);
    if (r < 0) logInfo("Error releasing interface: %s\n", libusb_error_name(r));
    r = libusb_attach_kernel_driver(adapterHandle, ADAPTER_INTERFACE);
    if (reattachFailed(r)) logInfo("Error reattaching kernel driver: %s\n", libusb_error_name(r));
    logInfo("Disconnecting adapter\n");
    libusb_close(adapterHandle);
    // A pollUSB after quit must not reach the closed handle.
    adapterHandle = nullptr;
    adapterConnected = false;
  }
  libusb_exit(nullptr);
}
}  // namespace tsm::input
