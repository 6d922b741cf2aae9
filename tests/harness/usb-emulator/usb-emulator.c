/* An emulated USB controller adapter for the integration tests.
 *
 * usb-emulator SCENARIO -- PROGRAM [ARGS...]
 *
 * Builds a umockdev testbed holding the devices of SCENARIO (the adapter's descriptors: vendor
 * 0x057E, product 0x0337, one interface with bulk endpoints, or a variant), answers the usbdevfs
 * ioctls that the real libusb sends to them, and runs PROGRAM under the umockdev preload so that
 * its libusb sees the testbed instead of the (absent) USB bus. Exits with PROGRAM's status, or
 * 128 + the signal that ended it. The testbed directory is removed at exit, also when this
 * program is asked to stop by SIGTERM, SIGINT or SIGHUP (the program is killed first).
 *
 * Standard error gets "@testbed DIR" first, then one "@usb ..." line for everything the devices
 * were asked: open, getdriver, disconnect, connect, claim, release, write (endpoint and bytes),
 * read (endpoint, number and length of the report) and any request not understood.
 *
 * Reports: the n-th report (from 1) holds byte i = (16 * n + i) & 0xFF, 37 bytes long.
 *
 * Scenarios:
 *   other-device        one device that is not the adapter
 *   adapter             a working adapter, no kernel driver bound
 *   two-adapters        two working adapters
 *   short-read          the first report arrives with 36 bytes, later ones whole
 *   read-error          the adapter vanishes at the first read: every later request fails ENODEV
 *   in-only             the interface has only the IN endpoint 0x81
 *   no-interfaces       the configuration has no interface
 *   driver-active       a kernel driver holds the interface until detached, and takes it back
 *   driver-query-error  asking for the kernel driver fails with EIO
 *   detach-error        a kernel driver is bound and will not let go (detach EIO, claim EBUSY,
 *                       reattach EBUSY)
 *   write-error         the start command stalls (EPIPE)
 */
#include <errno.h>
#include <glib-unix.h>
#include <glib.h>
#include <linux/usbdevice_fs.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <umockdev.h>

#define REPORT_SIZE 37
#define SHORT_REPORT_SIZE 36
#define MAX_DEVICES 2
#define MAX_PENDING 16

typedef enum {
  OTHER_DEVICE,
  ADAPTER,
  TWO_ADAPTERS,
  SHORT_READ,
  READ_ERROR,
  IN_ONLY,
  NO_INTERFACES,
  DRIVER_ACTIVE,
  DRIVER_QUERY_ERROR,
  DETACH_ERROR,
  WRITE_ERROR,
} Scenario;

static const char *const scenarioNames[] = {
    "other-device", "adapter", "two-adapters", "short-read", "read-error", "in-only",
    "no-interfaces", "driver-active", "driver-query-error", "detach-error", "write-error",
};

/* Everything below is touched only by the testbed's ioctl worker thread. */
static Scenario scenario;
static gboolean driverBound;
static gboolean vanished;
static int reportsSent;
static UMockdevIoctlData *pending[MAX_PENDING];
static int pendingCount;

static void note(const char *format, ...) G_GNUC_PRINTF(1, 2);
static void note(const char *format, ...) {
  va_list args;
  va_start(args, format);
  fputs("@usb ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  fflush(stderr);
  va_end(args);
}

/* --- descriptors ------------------------------------------------------------------------------ */

/* Appends the device, configuration, interface and endpoint descriptors as hex to `out`. */
static void describeDevice(GString *out, guint16 vendor, guint16 product, const guint8 *endpoints, int endpointCount,
                           gboolean withInterface) {
  const int total = 9 + (withInterface ? 9 + 7 * endpointCount : 0);
  const guint8 device[18] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, vendor & 0xFF, vendor >> 8, product & 0xFF,
                             product >> 8, 0x00, 0x01, 0, 0, 0, 1};
  const guint8 config[9] = {9, 2, total & 0xFF, total >> 8, withInterface ? 1 : 0, 1, 0, 0x80, 250};
  const guint8 interface[9] = {9, 4, 0, 0, (guint8)endpointCount, 0x03, 0, 0, 0};
  for (size_t i = 0; i < sizeof device; ++i) g_string_append_printf(out, "%02x", device[i]);
  for (size_t i = 0; i < sizeof config; ++i) g_string_append_printf(out, "%02x", config[i]);
  if (!withInterface) return;
  for (size_t i = 0; i < sizeof interface; ++i) g_string_append_printf(out, "%02x", interface[i]);
  for (int e = 0; e < endpointCount; ++e) {
    const guint8 endpoint[7] = {7, 5, endpoints[e], 0x02, 64, 0, 0};
    for (size_t i = 0; i < sizeof endpoint; ++i) g_string_append_printf(out, "%02x", endpoint[i]);
  }
}

static void addDevice(UMockdevTestbed *testbed, UMockdevIoctlBase *handler, int bus, guint16 vendor, guint16 product,
                      const guint8 *endpoints, int endpointCount, gboolean withInterface) {
  char devnode[64];
  snprintf(devnode, sizeof devnode, "/dev/bus/usb/%03d/001", bus);
  GError *error = NULL;
  /* The handler goes first, so that the device can be opened as soon as it appears. */
  if (!umockdev_testbed_attach_ioctl(testbed, devnode, handler, &error)) {
    fprintf(stderr, "usb-emulator: cannot attach ioctl handler: %s\n", error->message);
    exit(2);
  }
  GString *hex = g_string_new(NULL);
  describeDevice(hex, vendor, product, endpoints, endpointCount, withInterface);
  gchar *description = g_strdup_printf(
      "P: /devices/usb%d\n"
      "N: bus/usb/%03d/001\n"
      "E: SUBSYSTEM=usb\n"
      "E: DEVTYPE=usb_device\n"
      "E: DRIVER=usb\n"
      "E: BUSNUM=%03d\n"
      "E: DEVNUM=001\n"
      "E: DEVNAME=%s\n"
      "A: busnum=%d\\n\n"
      "A: devnum=1\\n\n"
      "A: bConfigurationValue=1\\n\n"
      "A: speed=12\\n\n"
      "H: descriptors=%s\n",
      bus, bus, bus, devnode, bus, hex->str);
  if (!umockdev_testbed_add_from_string(testbed, description, &error)) {
    fprintf(stderr, "usb-emulator: cannot add device: %s\n", error->message);
    exit(2);
  }
  g_free(description);
  g_string_free(hex, TRUE);
}

/* --- ioctls ----------------------------------------------------------------------------------- */

static void fillReport(guint8 *buffer, int number, int length) {
  for (int i = 0; i < length; ++i) buffer[i] = (guint8)((16 * number + i) & 0xFF);
}

static gboolean submitUrb(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  UMockdevIoctlData *urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_urb), NULL);
  struct usbdevfs_urb *urb = (struct usbdevfs_urb *)urbData->data;
  UMockdevIoctlData *buffer =
      umockdev_ioctl_data_resolve(urbData, G_STRUCT_OFFSET(struct usbdevfs_urb, buffer), urb->buffer_length, NULL);
  if (urb->endpoint & 0x80) {
    if (scenario == READ_ERROR) {
      note("read 0x%02x unplugged", urb->endpoint);
      vanished = TRUE;
      g_object_unref(buffer);
      g_object_unref(urbData);
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return TRUE;
    }
  } else {
    GString *bytes = g_string_new(NULL);
    for (int i = 0; i < urb->buffer_length; ++i) g_string_append_printf(bytes, "%02x", buffer->data[i]);
    note("write 0x%02x %s", urb->endpoint, bytes->str);
    g_string_free(bytes, TRUE);
  }
  g_object_unref(buffer);
  if (pendingCount == MAX_PENDING) {
    g_object_unref(urbData);
    umockdev_ioctl_client_complete(client, -1, ENOMEM);
    return TRUE;
  }
  pending[pendingCount++] = urbData;
  umockdev_ioctl_client_complete(client, 0, 0);
  return TRUE;
}

static gboolean reapUrb(UMockdevIoctlClient *client, UMockdevIoctlData *arg) {
  if (pendingCount == 0) {
    umockdev_ioctl_client_complete(client, -1, EAGAIN);
    return TRUE;
  }
  UMockdevIoctlData *urbData = pending[0];
  memmove(pending, pending + 1, sizeof pending[0] * (size_t)--pendingCount);
  struct usbdevfs_urb *urb = (struct usbdevfs_urb *)urbData->data;
  urb->status = 0;
  if (urb->endpoint & 0x80) {
    const int number = ++reportsSent;
    int length = scenario == SHORT_READ && number == 1 ? SHORT_REPORT_SIZE : REPORT_SIZE;
    if (length > urb->buffer_length) length = urb->buffer_length;
    fillReport(urb->buffer, number, length);
    urb->actual_length = length;
    note("read 0x%02x report %d length %d", urb->endpoint, number, length);
  } else if (scenario == WRITE_ERROR) {
    urb->actual_length = 0;
    urb->status = -EPIPE;
  } else {
    urb->actual_length = urb->buffer_length;
  }
  UMockdevIoctlData *slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), NULL);
  umockdev_ioctl_data_set_ptr(slot, 0, urbData);
  umockdev_ioctl_client_complete(client, 0, 0);
  g_object_unref(slot);
  g_object_unref(urbData);
  return TRUE;
}

static gboolean onIoctl(UMockdevIoctlBase *handler, UMockdevIoctlClient *client, gpointer unused) {
  (void)handler;
  (void)unused;
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);

  if (vanished) {
    note("request 0x%lx after unplug", request);
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }

  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), NULL);
      *(guint32 *)caps->data = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                               USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      umockdev_ioctl_client_complete(client, 0, 0);
      g_object_unref(caps);
      return TRUE;
    }
    case USBDEVFS_GETDRIVER: {
      note("getdriver");
      if (scenario == DRIVER_QUERY_ERROR) {
        umockdev_ioctl_client_complete(client, -1, EIO);
        return TRUE;
      }
      if (!driverBound) {
        umockdev_ioctl_client_complete(client, -1, ENODATA);
        return TRUE;
      }
      UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_getdriver), NULL);
      struct usbdevfs_getdriver *query = (struct usbdevfs_getdriver *)d->data;
      g_strlcpy(query->driver, "usbhid", sizeof query->driver);
      umockdev_ioctl_client_complete(client, 0, 0);
      g_object_unref(d);
      return TRUE;
    }
    case USBDEVFS_IOCTL: {
      UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_ioctl), NULL);
      const struct usbdevfs_ioctl *command = (const struct usbdevfs_ioctl *)d->data;
      const int code = command->ioctl_code;
      g_object_unref(d);
      if (code == (int)USBDEVFS_DISCONNECT) {
        note("disconnect");
        if (scenario == DETACH_ERROR) {
          umockdev_ioctl_client_complete(client, -1, EIO);
        } else if (!driverBound) {
          umockdev_ioctl_client_complete(client, -1, ENODATA);
        } else {
          driverBound = FALSE;
          umockdev_ioctl_client_complete(client, 0, 0);
        }
      } else if (code == (int)USBDEVFS_CONNECT) {
        note("connect");
        if (scenario == DETACH_ERROR) {
          umockdev_ioctl_client_complete(client, -1, EBUSY);
        } else if (scenario == DRIVER_ACTIVE) {
          /* The driver binds again: the kernel answers 1. */
          driverBound = TRUE;
          umockdev_ioctl_client_complete(client, 1, 0);
        } else {
          /* No driver wants the interface: the kernel answers 0. */
          umockdev_ioctl_client_complete(client, 0, 0);
        }
      } else {
        note("unknown ioctl code 0x%x", (unsigned)code);
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
      }
      return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
      UMockdevIoctlData *d = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), NULL);
      const guint32 number = *(const guint32 *)d->data;
      g_object_unref(d);
      const gboolean claim = request == USBDEVFS_CLAIMINTERFACE;
      note("%s %u", claim ? "claim" : "release", number);
      if (claim && driverBound) {
        umockdev_ioctl_client_complete(client, -1, EBUSY);
      } else {
        umockdev_ioctl_client_complete(client, 0, 0);
      }
      return TRUE;
    }
    case USBDEVFS_SUBMITURB:
      return submitUrb(client, arg);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      return reapUrb(client, arg);
    default:
      note("unknown request 0x%lx", request);
      umockdev_ioctl_client_complete(client, -1, ENOTTY);
      return TRUE;
  }
}

static void onClientConnected(UMockdevIoctlBase *handler, UMockdevIoctlClient *client, gpointer unused) {
  (void)handler;
  (void)unused;
  note("open %s", umockdev_ioctl_client_get_devnode(client));
}

/* --- the program under test ------------------------------------------------------------------- */

typedef struct {
  GMainLoop *loop;
  GPid child;
  int status;
  gboolean exited;
} Run;

static void onChildExit(GPid pid, gint status, gpointer data) {
  Run *run = data;
  (void)pid;
  run->status = status;
  run->exited = TRUE;
  g_main_loop_quit(run->loop);
}

static gboolean onStop(gpointer data) {
  Run *run = data;
  kill(run->child, SIGKILL);
  return G_SOURCE_CONTINUE;
}

int main(int argc, char **argv) {
  int separator = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--") == 0) {
      separator = i;
      break;
    }
  }
  if (separator != 2 || separator + 1 >= argc) {
    fprintf(stderr, "usage: usb-emulator SCENARIO -- PROGRAM [ARGS...]\n");
    return 2;
  }
  gboolean known = FALSE;
  for (size_t i = 0; i < G_N_ELEMENTS(scenarioNames); ++i) {
    if (strcmp(argv[1], scenarioNames[i]) == 0) {
      scenario = (Scenario)i;
      known = TRUE;
    }
  }
  if (!known) {
    fprintf(stderr, "usb-emulator: unknown scenario %s\n", argv[1]);
    return 2;
  }

  UMockdevTestbed *testbed = umockdev_testbed_new();
  gchar *root = umockdev_testbed_get_root_dir(testbed);
  fprintf(stderr, "@testbed %s\n", root);
  fflush(stderr);

  UMockdevIoctlBase *handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(onIoctl), NULL);
  g_signal_connect(handler, "client-connected", G_CALLBACK(onClientConnected), NULL);

  static const guint8 both[] = {0x81, 0x02};
  static const guint8 inOnly[] = {0x81};
  driverBound = scenario == DRIVER_ACTIVE || scenario == DETACH_ERROR;
  switch (scenario) {
    case OTHER_DEVICE:
      addDevice(testbed, handler, 1, 0x1234, 0x5678, both, 2, TRUE);
      break;
    case TWO_ADAPTERS:
      addDevice(testbed, handler, 1, 0x057E, 0x0337, both, 2, TRUE);
      addDevice(testbed, handler, 2, 0x057E, 0x0337, both, 2, TRUE);
      break;
    case IN_ONLY:
      addDevice(testbed, handler, 1, 0x057E, 0x0337, inOnly, 1, TRUE);
      break;
    case NO_INTERFACES:
      addDevice(testbed, handler, 1, 0x057E, 0x0337, NULL, 0, FALSE);
      break;
    default:
      addDevice(testbed, handler, 1, 0x057E, 0x0337, both, 2, TRUE);
      break;
  }

  gchar **env = g_get_environ();
  const gchar *preload = g_environ_getenv(env, "LD_PRELOAD");
  gchar *withUmockdev = preload && *preload ? g_strdup_printf("libumockdev-preload.so.0 %s", preload)
                                            : g_strdup("libumockdev-preload.so.0");
  env = g_environ_setenv(env, "LD_PRELOAD", withUmockdev, TRUE);

  Run run = {g_main_loop_new(NULL, FALSE), 0, 0, FALSE};
  GError *error = NULL;
  if (!g_spawn_async(NULL, argv + separator + 1, env,
                     G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH | G_SPAWN_CHILD_INHERITS_STDIN, NULL, NULL,
                     &run.child, &error)) {
    fprintf(stderr, "usb-emulator: cannot start %s: %s\n", argv[separator + 1], error->message);
    g_object_unref(handler);
    g_object_unref(testbed);
    return 2;
  }
  g_child_watch_add(run.child, onChildExit, &run);
  g_unix_signal_add(SIGTERM, onStop, &run);
  g_unix_signal_add(SIGINT, onStop, &run);
  g_unix_signal_add(SIGHUP, onStop, &run);
  g_main_loop_run(run.loop);

  for (int i = 0; i < pendingCount; ++i) g_object_unref(pending[i]);
  g_object_unref(handler);
  g_object_unref(testbed); /* removes the testbed directory */
  g_free(root);
  g_free(withUmockdev);
  g_strfreev(env);
  g_main_loop_unref(run.loop);

  if (WIFSIGNALED(run.status)) return 128 + WTERMSIG(run.status);
  return WIFEXITED(run.status) ? WEXITSTATUS(run.status) : 1;
}
