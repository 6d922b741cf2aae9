/* Stands in for a platform where the USB library cannot query, detach or reattach kernel drivers:
 * preloaded into a test host, these entry points answer LIBUSB_ERROR_NOT_SUPPORTED, as the library
 * does where its platform has no such thing; the rest is the real library. Each call is noted on
 * standard error as "@nodriver NAME". */
#include <libusb.h>
#include <stdio.h>

#define UNSUPPORTED(entry, name)                                 \
  int entry(libusb_device_handle *handle, int interface) {       \
    (void)handle, (void)interface;                               \
    fprintf(stderr, "@nodriver " name "\n");                     \
    fflush(stderr);                                              \
    return LIBUSB_ERROR_NOT_SUPPORTED;                           \
  }
UNSUPPORTED(libusb_kernel_driver_active, "active")
UNSUPPORTED(libusb_detach_kernel_driver, "detach")
UNSUPPORTED(libusb_attach_kernel_driver, "attach")
