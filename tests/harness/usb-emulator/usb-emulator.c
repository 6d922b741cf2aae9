/* usb-emulator SCENARIO -- PROGRAM [ARGS...]: runs PROGRAM under the umockdev preload with a testbed holding the
 * devices of SCENARIO (the controller adapter, 0x057E:0x0337, one interface with bulk endpoints 0x81 and 0x02, or a
 * variant), whose usbdevfs ioctls are answered here. Exits with its status or 128 + its signal; the testbed goes at
 * exit, also after SIGTERM, SIGINT or SIGHUP. Standard error: "@testbed DIR", then "@usb ..." for each thing asked.
 * Report n (from 1) is 37 bytes (16n + i) & 0xFF. Scenarios: other-device, adapter, two-adapters, short-read (a first
 * report of 36 bytes), read-error (gone at the first read), in-only, no-interfaces, driver-active (a kernel driver
 * holds the interface until detached, and takes it back), driver-query-error, detach-error (a driver that will not
 * let go), write-error (the start command stalls). */
#include <errno.h>
#include <glib-unix.h>
#include <linux/usbdevice_fs.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <umockdev.h>

#define REPORT_SIZE 37
#define MAX_PENDING 16

static const char *const scenarios = " other-device adapter two-adapters short-read read-error in-only no-interfaces "
                                    "driver-active driver-query-error detach-error write-error ";
/* Touched only by the testbed's ioctl worker thread but for the scenario, set before it starts. */
static const char *scenario;
static gboolean driverBound, vanished;
static int reportsSent, pendingCount;
static UMockdevIoctlData *pending[MAX_PENDING];

static gboolean is(const char *name) { return strcmp(scenario, name) == 0; }

#define note(...) (fputs("@usb ", stderr), fprintf(stderr, __VA_ARGS__), fputs("\n", stderr), fflush(stderr))

static GString *hex(GString *out, const guint8 *bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) g_string_append_printf(out, "%02x", bytes[i]);
  return out;
}

/* A device of `vendor` (product 0x0337) on bus `bus`: its device, configuration, interface and
 * endpoint (0x81, then 0x02) descriptors. */
static void addDevice(UMockdevTestbed *testbed, UMockdevIoctlBase *handler, int bus, guint16 vendor, int endpointCount,
                      gboolean withInterface) {
  const int total = 9 + (withInterface ? 9 + 7 * endpointCount : 0);
  const guint8 head[36] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, vendor & 0xFF, vendor >> 8, 0x37, 0x03, 0x00, 0x01, 0, 0, 0, 1,
                           9, 2, total & 0xFF, total >> 8, withInterface ? 1 : 0, 1, 0, 0x80, 250,
                           9, 4, 0, 0, (guint8)endpointCount, 0x03, 0, 0, 0};
  GString *descriptors = hex(g_string_new(NULL), head, withInterface ? 36 : 27);
  for (int e = 0; e < endpointCount; ++e) hex(descriptors, (const guint8[]){7, 5, e ? 0x02 : 0x81, 0x02, 64, 0, 0}, 7);
  char devnode[64];
  snprintf(devnode, sizeof devnode, "/dev/bus/usb/%03d/001", bus);
  GError *error = NULL;
  /* The handler goes first, so that the device can be opened as soon as it appears. */
  gchar *description = g_strdup_printf(
      "P: /devices/usb%d\nN: bus/usb/%03d/001\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=%03d\n"
      "E: DEVNUM=001\nE: DEVNAME=%s\nA: busnum=%d\\n\nA: devnum=1\\n\nA: bConfigurationValue=1\\n\nA: speed=12\\n\n"
      "H: descriptors=%s\n", bus, bus, bus, devnode, bus, descriptors->str);
  if (!umockdev_testbed_attach_ioctl(testbed, devnode, handler, &error) ||
      !umockdev_testbed_add_from_string(testbed, description, &error)) {
    fprintf(stderr, "usb-emulator: cannot add device: %s\n", error->message);
    exit(2);
  }
}

#define complete(client, result, error) (umockdev_ioctl_client_complete(client, result, error), TRUE)

/* The `size` bytes of the argument at `offset` (the caller unrefs the result). */
#define argument(arg, offset, size) umockdev_ioctl_data_resolve(arg, offset, size, NULL)

static gboolean submitUrb(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  UMockdevIoctlData *urbData = argument(arg, 0, sizeof(struct usbdevfs_urb));
  struct usbdevfs_urb *urb = (struct usbdevfs_urb *)urbData->data;
  UMockdevIoctlData *buffer = argument(urbData, G_STRUCT_OFFSET(struct usbdevfs_urb, buffer), urb->buffer_length);
  const gboolean in = urb->endpoint & 0x80, unplug = in && is("read-error");
  if (unplug) {
    note("read 0x%02x unplugged", urb->endpoint);
    vanished = TRUE;
  } else if (!in) {
    GString *bytes = hex(g_string_new(NULL), buffer->data, (size_t)urb->buffer_length);
    note("write 0x%02x %s", urb->endpoint, bytes->str);
    g_string_free(bytes, TRUE);
  }
  g_object_unref(buffer);
  if (unplug || pendingCount == MAX_PENDING) {
    g_object_unref(urbData);
    return complete(client, -1, unplug ? ENODEV : ENOMEM);
  }
  pending[pendingCount++] = urbData;
  return complete(client, 0, 0);
}

static gboolean reapUrb(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  if (pendingCount == 0) return complete(client, -1, EAGAIN);
  UMockdevIoctlData *urbData = pending[0];
  memmove(pending, pending + 1, sizeof pending[0] * (size_t)--pendingCount);
  struct usbdevfs_urb *urb = (struct usbdevfs_urb *)urbData->data;
  urb->status = 0;
  urb->actual_length = urb->buffer_length;
  if (urb->endpoint & 0x80) {
    const int number = ++reportsSent;
    urb->actual_length = MIN(is("short-read") && number == 1 ? REPORT_SIZE - 1 : REPORT_SIZE, urb->buffer_length);
    for (int i = 0; i < urb->actual_length; ++i) ((guint8 *)urb->buffer)[i] = (guint8)((16 * number + i) & 0xFF);
    note("read 0x%02x report %d length %d", urb->endpoint, number, urb->actual_length);
  } else if (is("write-error")) {
    urb->actual_length = 0;
    urb->status = -EPIPE;
  }
  UMockdevIoctlData *slot = argument(arg, 0, sizeof(gpointer));
  umockdev_ioctl_data_set_ptr(slot, 0, urbData);
  g_object_unref(slot), g_object_unref(urbData);
  return complete(client, 0, 0);
}

static gboolean onIoctl(UMockdevIoctlBase *handler, UMockdevIoctlClient *client, gpointer unused) {
  (void)handler, (void)unused;
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client), *d;
  if (vanished) return complete(client, -1, ENODEV);
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
      d = argument(arg, 0, sizeof(guint32));
      *(guint32 *)d->data = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                            USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      g_object_unref(d);
      return complete(client, 0, 0);
    case USBDEVFS_GETDRIVER:
      note("getdriver");
      if (is("driver-query-error") || !driverBound) return complete(client, -1, is("driver-query-error") ? EIO : ENODATA);
      d = argument(arg, 0, sizeof(struct usbdevfs_getdriver));
      g_strlcpy(((struct usbdevfs_getdriver *)d->data)->driver, "usbhid", USBDEVFS_MAXDRIVERNAME + 1);
      g_object_unref(d);
      return complete(client, 0, 0);
    case USBDEVFS_IOCTL: {
      d = argument(arg, 0, sizeof(struct usbdevfs_ioctl));
      const int code = ((const struct usbdevfs_ioctl *)d->data)->ioctl_code;
      g_object_unref(d);
      if (code == (int)USBDEVFS_DISCONNECT) {
        note("disconnect");
        if (is("detach-error") || !driverBound) return complete(client, -1, driverBound ? EIO : ENODATA);
        return driverBound = FALSE, complete(client, 0, 0);
      }
      if (code == (int)USBDEVFS_CONNECT) {
        /* The kernel answers 1 when a driver binds again, 0 when none wants the interface. */
        note("connect");
        if (is("detach-error")) return complete(client, -1, EBUSY);
        return driverBound = is("driver-active"), complete(client, driverBound, 0);
      }
      note("unknown ioctl code 0x%x", (unsigned)code);
      return complete(client, -1, ENOTTY);
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
      d = argument(arg, 0, sizeof(guint32));
      note("%s %u", request == USBDEVFS_CLAIMINTERFACE ? "claim" : "release", *(const guint32 *)d->data);
      g_object_unref(d);
      return request == USBDEVFS_CLAIMINTERFACE && driverBound ? complete(client, -1, EBUSY) : complete(client, 0, 0);
    case USBDEVFS_SUBMITURB: return submitUrb(client, arg);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: return reapUrb(client, arg);
    default:
      note("unknown request 0x%lx", request);
      return complete(client, -1, ENOTTY);
  }
}

static void onClientConnected(UMockdevIoctlBase *handler, UMockdevIoctlClient *client, gpointer unused) {
  (void)handler, (void)unused, note("open %s", umockdev_ioctl_client_get_devnode(client));
}

static GMainLoop *loop;
static GPid child;
static int status;

static void onChildExit(GPid pid, gint exitStatus, gpointer unused) {
  (void)pid, (void)unused, status = exitStatus, g_main_loop_quit(loop);
}

static gboolean onStop(gpointer unused) { return (void)unused, kill(child, SIGKILL), G_SOURCE_CONTINUE; }

int main(int argc, char **argv) {
  scenario = argc > 3 && !strcmp(argv[2], "--") && strstr(scenarios, g_strdup_printf(" %s ", argv[1])) ? argv[1] : NULL;
  if (!scenario) return fprintf(stderr, "usage: usb-emulator SCENARIO -- PROGRAM [ARGS...]\n"), 2;
  UMockdevTestbed *testbed = umockdev_testbed_new();
  fprintf(stderr, "@testbed %s\n", umockdev_testbed_get_root_dir(testbed)), fflush(stderr);
  UMockdevIoctlBase *handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), NULL);
  g_signal_connect(handler, "client-connected", G_CALLBACK(onClientConnected), NULL);
  driverBound = is("driver-active") || is("detach-error");
  addDevice(testbed, handler, 1, is("other-device") ? 0x1234 : 0x057E, is("in-only") ? 1 : 2, !is("no-interfaces"));
  if (is("two-adapters")) addDevice(testbed, handler, 2, 0x057E, 2, TRUE);

  gchar **env = g_get_environ();
  const gchar *preload = g_environ_getenv(env, "LD_PRELOAD");
  gchar *withUmockdev = g_strdup_printf("libumockdev-preload.so.0%s%s", preload && *preload ? " " : "", preload ? preload : "");
  env = g_environ_setenv(env, "LD_PRELOAD", withUmockdev, TRUE);
  loop = g_main_loop_new(NULL, FALSE);
  GError *error = NULL;
  if (!g_spawn_async(NULL, argv + 3, env, G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH | G_SPAWN_CHILD_INHERITS_STDIN,
                     NULL, NULL, &child, &error)) {
    fprintf(stderr, "usb-emulator: cannot start %s: %s\n", argv[3], error->message);
    status = 2 << 8;
  } else {
    g_child_watch_add(child, onChildExit, NULL);
    for (int s = 0; s < 3; ++s) g_unix_signal_add((int[]){SIGTERM, SIGINT, SIGHUP}[s], onStop, NULL);
    g_main_loop_run(loop);
  }
  g_object_unref(testbed); /* removes the testbed directory */
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
