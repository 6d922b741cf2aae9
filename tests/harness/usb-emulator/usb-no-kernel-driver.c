/* Stands in for a platform where the USB library cannot query, detach or reattach kernel drivers:
 * preloaded into a test host, these three entry points answer LIBUSB_ERROR_NOT_SUPPORTED, as the
 * library does where its platform has no such thing; everything else is the real library. Each
 * call is noted on standard error as "@nodriver NAME". */
#include <libusb.h>
#include <stdio.h>

static int unsupported(const char *name) {
  fprintf(stderr, "@nodriver %s\n", name);
  fflush(stderr);
  return LIBUSB_ERROR_NOT_SUPPORTED;
}

int libusb_kernel_driver_active(libusb_device_handle *handle, int interface) {
  (void)handle;
  (void)interface;
  return unsupported("active");
}

int libusb_detach_kernel_driver(libusb_device_handle *handle, int interface) {
  (void)handle;
  (void)interface;
  return unsupported("detach");
}

int libusb_attach_kernel_driver(libusb_device_handle *handle, int interface) {
  (void)handle;
  (void)interface;
  return unsupported("attach");
}
