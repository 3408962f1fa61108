// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/support/VirtualUsbPrinter.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <umockdev.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tw::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kManufacturer = "Tagwright Test";
constexpr const char* kProduct = "Virtual Label Printer";
constexpr const char* kSerial = "TW0001";
constexpr const char* kNode = "/dev/usb/lp0";
constexpr unsigned char kOutEndpoint = 0x01;
constexpr unsigned char kInEndpoint = 0x82;
constexpr int kInterface = 0;

std::string DeviceId() {
  return std::string("MFG:Tagwright Test;MDL:") + VirtualUsbPrinter::kModel + ";CMD:ZCMD;CLS:PRINTER;";
}

// Device, configuration, printer interface (class 7, subclass 1, bidirectional), bulk OUT and IN.
std::vector<guint8> Descriptors() {
  const int v = VirtualUsbPrinter::kVendorId, p = VirtualUsbPrinter::kProductId;
  return {18, 1, 0x00, 0x02, 0, 0, 0, 64, guint8(v), guint8(v >> 8), guint8(p), guint8(p >> 8), 0x00, 0x01, 1, 2, 3, 1,
          9, 2, 32, 0, 1, 1, 0, 0xC0, 50,
          9, 4, kInterface, 0, 2, 7, 1, 2, 0,
          7, 5, kOutEndpoint, 2, 0x00, 0x02, 0,
          7, 5, kInEndpoint, 2, 0x00, 0x02, 0};
}

std::string StringDescriptor(const std::string& ascii) {
  std::string d{char(2 + 2 * ascii.size()), 3};
  for (char c : ascii) d += {c, 0};
  return d;
}

// A URB as umockdev keeps it for the handler: the request and its buffer, both in handler memory,
// written back into the program when it is reaped.
struct Urb {
  UMockdevIoctlData* urb = nullptr;
  UMockdevIoctlData* buffer = nullptr;
  usbdevfs_urb* fields() const { return reinterpret_cast<usbdevfs_urb*>(urb->data); }
  int length() const { return buffer ? fields()->buffer_length : 0; }
};

void Release(Urb& urb) {
  if (urb.urb) g_object_unref(urb.urb);
  urb = {};
}

// One testbed and one handler for the process: libusb keeps its device list for the life of the
// process and learns of devices through uevents, so printers come and go inside one testbed. Device
// addresses are never reused, as umockdev keeps each node name for the testbed's life.
UMockdevTestbed* Testbed() {
  static UMockdevTestbed* const testbed = umockdev_testbed_new();
  return testbed;
}
int gNextAddress = 2;
std::mutex gCurrentMutex;  // guards gCurrent; held while a request is answered
VirtualUsbPrinter::Impl* gCurrent = nullptr;

}  // namespace

bool InUsbTestbed() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload && std::strstr(preload, "libumockdev-preload");
}

struct VirtualUsbPrinter::Impl {
  explicit Impl(sim::Personality personality) : model(personality) {}

  // --- state, guarded by mutex ---
  mutable std::mutex mutex;
  mutable std::condition_variable receivedChanged;
  sim::PrinterModel model;
  std::string received;
  std::size_t receivedCount = 0;
  bool keepReceived = true;
  std::string replies;  // waiting for bulk IN or a node read
  std::deque<Urb> pendingOut, pendingIn, done;
  Clock::time_point nakUntil{};
  bool stallNext = false, silent = false, present = true, bound = true, claimed = false;
  bool claimedElsewhere = false;
  int split = 0, claims = 0, detaches = 0, address = 0, nodeOpens = 0;
  int binding = 0;  // counts unbindings of usblp: a node opened before the latest one is dead
  double acceptRate = 0;
  Clock::time_point outFreeAt{};  // the pace of bulk OUT
  long long unplugAfter = -1;

  UMockdevTestbed* testbed = Testbed();
  bool inTestbed = false;
  static inline int nodeMaster = -1;  // the printer's side of the node's pseudo-terminal
  static inline std::atomic<bool> pumping{false};  // the pump holds bytes read from the node
  std::string usbPath, interfacePath, nodePath, busNode;

  // --- devices in the testbed ---
  // Adds a device in umockdev's record format, which also makes its /dev node.
  std::string Add(const std::string& record) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) {
      std::fprintf(stderr, "umockdev: %s\n", error ? error->message : "cannot add device");
      g_clear_error(&error);
      return {};
    }
    return "/sys" + record.substr(3, record.find('\n') - 3);
  }

  void AddDevice() {
    char node[32], hex[3];
    std::snprintf(node, sizeof node, "bus/usb/001/%03d", address);
    busNode = std::string("/dev/") + node;
    std::string descriptors;
    for (guint8 byte : Descriptors()) descriptors += (std::snprintf(hex, sizeof hex, "%02X", byte), hex);
    const std::string devnum = std::to_string(address);
    // A new port name for every device: umockdev keeps the bus links of removed devices.
    const std::string port = "/devices/pci0000:00/usb1/1-" + devnum;
    usbPath = Add("P: " + port + "\nN: " + std::string(node) + "\nE: DEVNAME=/dev/" + node +
                  "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nE: BUSNUM=001\nE: DEVNUM=" + devnum +
                  "\nA: busnum=1\\n\nA: devnum=" + devnum + "\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n" +
                  "\nA: idVendor=1209\\n\nA: idProduct=4c50\\n\nA: manufacturer=" + kManufacturer + "\\n" +
                  "\nA: product=" + kProduct + "\\n\nA: serial=" + kSerial + "\\n\nA: dev=189:" +
                  std::to_string(address - 1) + "\\n\nH: descriptors=" + descriptors + "\n");
    interfacePath = Add("P: " + port + "/1-" + devnum + ":1.0\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb" +
                        std::string("\nA: bInterfaceClass=07\\n\nA: bInterfaceSubClass=01\\n") +
                        "\nA: bInterfaceProtocol=02\\n\nA: bInterfaceNumber=00\\n\n");
    umockdev_testbed_attach_ioctl(testbed, busNode.c_str(), Handler(), nullptr);
    inTestbed = true;
    umockdev_testbed_uevent(testbed, usbPath.c_str(), "add");
    AddNode();
    ShowNode(true);
  }

  // The node is made once for the process; it answers only while usblp is bound.
  void AddNode() {
    static bool made = false;
    if (std::exchange(made, true)) return;
    nodePath = Add("P: /devices/pci0000:00/usb1/usbmisc/lp0\nN: usb/lp0\nE: DEVNAME=/dev/usb/lp0" +
                   std::string("\nE: SUBSYSTEM=usbmisc\nA: dev=180:0\\n\n"));
    umockdev_testbed_attach_ioctl(testbed, kNode, Handler(), nullptr);
    // The node is a pseudo-terminal: raw, so that bytes pass unchanged, and served by the node pump.
    const int master = umockdev_testbed_get_dev_fd(testbed, kNode);
    termios mode{};
    if (master >= 0 && tcgetattr(master, &mode) == 0) {
      cfmakeraw(&mode);
      tcsetattr(master, TCSANOW, &mode);
    }
    if (master >= 0) std::thread(PumpNode, master).detach();
    nodeMaster = master;
  }

  // The node's handler stays attached (detaching from the handler's own thread would wait on
  // itself); it answers ENODEV while the device is not present.
  void RemoveDevice() {
    umockdev_testbed_uevent(testbed, usbPath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed, usbPath.c_str());
    ShowNode(false);
  }

  // The printer node leaves /dev while the device is unplugged, as the kernel removes it: opening it
  // then fails (ENOENT). Its pseudo-terminal stays and is put back under its name at the next plug.
  void ShowNode(bool shown) {
    gchar* root = umockdev_testbed_get_root_dir(testbed);
    const std::string node = root + std::string(kNode), hidden = node + ".unplugged";
    g_free(root);
    std::rename(shown ? hidden.c_str() : node.c_str(), shown ? node.c_str() : hidden.c_str());
  }

  // --- the printer side (mutex held) ---
  // Takes bytes from the host; false when the device was unplugged part way (see UnplugAfter).
  bool Take(const char* bytes, std::size_t length) {
    const bool unplug = unplugAfter >= 0 && static_cast<long long>(length) >= unplugAfter;
    if (unplug) length = static_cast<std::size_t>(std::exchange(unplugAfter, -1));
    else if (unplugAfter >= 0) unplugAfter -= static_cast<long long>(length);
    if (keepReceived) received.append(bytes, length);
    receivedCount += length;
    receivedChanged.notify_all();
    sim::PrinterModel::Output out = model.Feed(std::string_view(bytes, length));
    if (!silent) replies += out.reply;
    // Every request fails from now on; the device leaves sysfs at the next Unplug or Plug, as
    // umockdev cannot remove it from the handler's own thread.
    if (unplug) FailEverything();
    return !unplug;
  }

  std::string TakeReply(std::size_t capacity) {
    std::size_t n = std::min(capacity, replies.size());
    if (split > 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(split));
    std::string piece = replies.substr(0, n);
    replies.erase(0, n);
    return piece;
  }

  void Finish(Urb urb, int status, int actual) {
    usbdevfs_urb* f = urb.fields();
    f->status = status;
    f->actual_length = actual;
    // Mark the request changed so that umockdev writes it back.
    umockdev_ioctl_data_update(urb.urb, 0, urb.urb->data, urb.urb->data_len);
    done.push_back(urb);
  }

  // Moves transfers on as far as the printer's state allows.
  void Pump() {
    const auto now = Clock::now();
    if (now < nakUntil) return;
    while (!pendingOut.empty() && present) {
      Urb urb = pendingOut.front();
      if (stallNext) {
        stallNext = false;
        pendingOut.pop_front();
        Finish(urb, -EPIPE, 0);
        continue;
      }
      if (acceptRate > 0 && now < outFreeAt) break;
      const std::size_t length = static_cast<std::size_t>(urb.length());
      if (length && !Take(reinterpret_cast<const char*>(urb.buffer->data), length)) return;
      pendingOut.pop_front();
      if (acceptRate > 0) {
        outFreeAt = std::max(outFreeAt, now) +
                    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(length / acceptRate));
      }
      Finish(urb, 0, static_cast<int>(length));
    }
    while (!pendingIn.empty() && !replies.empty()) {
      Urb urb = pendingIn.front();
      pendingIn.pop_front();
      const std::string piece = TakeReply(static_cast<std::size_t>(urb.length()));
      umockdev_ioctl_data_update(urb.buffer, 0, (guint8*)piece.data(), static_cast<gint>(piece.size()));
      Finish(urb, 0, static_cast<int>(piece.size()));
    }
  }

  // As the kernel does at a disconnect: transfers in flight end with -ESHUTDOWN and can still be
  // reaped; every other request fails with ENODEV.
  void FailEverything() {
    WakeDeadNode();
    present = false;
    for (auto* queue : {&pendingOut, &pendingIn}) {
      for (Urb& urb : *queue) Finish(urb, -ESHUTDOWN, 0);
      queue->clear();
    }
    claimed = false;
  }

  void ReleaseAll() {
    for (auto* queue : {&pendingOut, &pendingIn, &done}) {
      for (Urb& urb : *queue) Release(urb);
      queue->clear();
    }
  }

  void UnplugLocked() {
    FailEverything();
    if (std::exchange(inTestbed, false)) RemoveDevice();
  }

  // --- usbfs requests ---
  bool Control(Urb& urb) {
    const guint8* setup = urb.buffer->data;
    const int requestType = setup[0], request = setup[1];
    const int value = setup[2] | setup[3] << 8;
    const int wanted = setup[6] | setup[7] << 8;
    std::string answer;
    if (requestType == 0x80 && request == 6 && (value >> 8) == 3) {
      static const char* const strings[] = {nullptr, kManufacturer, kProduct, kSerial};
      const int index = value & 0xFF;
      if (index == 0) answer = std::string("\x04\x03\x09\x04", 4);
      else if (index <= 3) answer = StringDescriptor(strings[index]);
    } else if (requestType == 0x80 && request == 6 && (value >> 8) == 1) {
      const std::vector<guint8> d = Descriptors();
      answer.assign(d.begin(), d.begin() + 18);
    } else if (requestType == 0xA1 && request == 0) {  // printer class GET_DEVICE_ID
      const std::string id = DeviceId();
      const std::size_t length = id.size() + 2;
      answer = std::string{char(length >> 8), char(length & 0xFF)} + id;
    } else {
      return false;
    }
    answer.resize(std::min<std::size_t>(answer.size(), static_cast<std::size_t>(wanted)));
    umockdev_ioctl_data_update(urb.buffer, 8, (guint8*)answer.data(), static_cast<gint>(answer.size()));
    Finish(urb, 0, static_cast<int>(answer.size()));
    return true;
  }

  int Submit(UMockdevIoctlClient* client, int& error) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    if (!data) return error = EFAULT, -1;
    auto* f = reinterpret_cast<usbdevfs_urb*>(data->data);
    Urb urb{UMOCKDEV_IOCTL_DATA(g_object_ref(data)), nullptr};
    if (f->buffer_length > 0) {
      urb.buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                               static_cast<gsize>(f->buffer_length), nullptr);
    }
    if (f->type == USBDEVFS_URB_TYPE_CONTROL) {
      if (!urb.buffer || !Control(urb)) Finish(urb, -EPIPE, 0);
    } else if (f->type != USBDEVFS_URB_TYPE_BULK) {
      Release(urb);
      return error = EINVAL, -1;
    } else if (f->endpoint & 0x80) {
      pendingIn.push_back(urb);
    } else {
      pendingOut.push_back(urb);
    }
    Pump();
    return 0;
  }

  int Reap(UMockdevIoctlClient* client, int& error) {
    Pump();
    if (done.empty()) return error = EAGAIN, -1;
    Urb urb = done.front();
    done.pop_front();
    UMockdevIoctlData* pointer =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*), nullptr);
    if (!pointer) return Release(urb), error = EFAULT, -1;
    umockdev_ioctl_data_set_ptr(pointer, 0, urb.urb);
    Release(urb);
    return 0;
  }

  int Discard(UMockdevIoctlClient* client, int& error) {
    const gulong address = *reinterpret_cast<gulong*>(umockdev_ioctl_client_get_arg(client)->data);
    for (auto* queue : {&pendingOut, &pendingIn}) {
      auto it = std::find_if(queue->begin(), queue->end(), [&](const Urb& u) { return u.urb->client_addr == address; });
      if (it == queue->end()) continue;
      Urb urb = *it;
      queue->erase(it);
      Finish(urb, -ENOENT, 0);
      return 0;
    }
    return error = EINVAL, -1;
  }

  template <typename T>
  T* Argument(UMockdevIoctlClient* client) {
    UMockdevIoctlData* d = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(T), nullptr);
    return d ? reinterpret_cast<T*>(d->data) : nullptr;
  }
  template <typename T>
  void Store(UMockdevIoctlClient* client, const T& value) {
    UMockdevIoctlData* d = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(T), nullptr);
    if (d) umockdev_ioctl_data_update(d, 0, (guint8*)&value, sizeof(T));
  }

  void Unbind() {
    if (!bound) return;
    WakeDeadNode();
    bound = false;
    ++detaches;
    ++binding;
  }

  int Claim(bool detach, int& error) {
    if (claimedElsewhere || (bound && !detach)) return error = EBUSY, -1;
    Unbind();
    claimed = true;
    ++claims;
    return 0;
  }

  int UsbRequest(UMockdevIoctlClient* client, int& error) {
    const gulong request = umockdev_ioctl_client_get_request(client);
    const bool reap = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
    if (!present && !(reap && !done.empty())) return error = ENODEV, -1;
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES:
        Store<guint32>(client, USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                   USBDEVFS_CAP_REAP_AFTER_DISCONNECT);
        return 0;
      case USBDEVFS_SUBMITURB: return Submit(client, error);
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY: return Reap(client, error);
      case USBDEVFS_DISCARDURB: return Discard(client, error);
      case USBDEVFS_CLAIMINTERFACE: return Claim(false, error);
      case USBDEVFS_DISCONNECT_CLAIM: return Claim(true, error);
      case USBDEVFS_RELEASEINTERFACE: claimed = false; return 0;
      case USBDEVFS_GETDRIVER: {
        if (!bound) return error = ENODATA, -1;
        usbdevfs_getdriver* d = Argument<usbdevfs_getdriver>(client);
        if (!d) return error = EFAULT, -1;
        usbdevfs_getdriver answer = *d;
        std::snprintf(answer.driver, sizeof answer.driver, "usblp");
        Store(client, answer);
        return 0;
      }
      case USBDEVFS_IOCTL: {
        usbdevfs_ioctl* c = Argument<usbdevfs_ioctl>(client);
        if (!c) return error = EFAULT, -1;
        if (c->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
          if (!bound) return error = ENODATA, -1;
          Unbind();
          return 0;
        }
        if (c->ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
          if (!claimed && !bound) Bind();
          return 0;
        }
        return error = ENOTTY, -1;
      }
      case USBDEVFS_SETCONFIGURATION:
      case USBDEVFS_SETINTERFACE:
      case USBDEVFS_CLEAR_HALT:
      case USBDEVFS_RESET: return 0;
      case USBDEVFS_GET_SPEED: return 3;  // high speed
      default: return error = ENOTTY, -1;
    }
  }

  // --- the printer node ---
  // A node works while usblp stays bound from its open on, as a descriptor of the real driver does.
  bool NodeAlive(UMockdevIoctlClient* client) const {
    return present && bound && GPOINTER_TO_INT(g_object_get_data(G_OBJECT(client), "binding")) == binding + 1;
  }

  int NodeRequest(UMockdevIoctlClient* client, int& error) {
    if (!NodeAlive(client)) return error = ENODEV, -1;
    const gulong request = umockdev_ioctl_client_get_request(client);
    if (_IOC_TYPE(request) == 'P' && _IOC_NR(request) == 1) {  // LPIOC_GET_DEVICE_ID(length)
      const std::size_t size = _IOC_SIZE(request);
      UMockdevIoctlData* d = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, nullptr);
      if (!d) return error = EFAULT, -1;
      const std::string id = DeviceId();
      std::string answer = std::string{char((id.size() + 2) >> 8), char((id.size() + 2) & 0xFF)} + id;
      answer.resize(std::min(answer.size(), size));
      umockdev_ioctl_data_update(d, 0, (guint8*)answer.data(), static_cast<gint>(answer.size()));
      return 0;
    }
    return error = ENOTTY, -1;
  }

  // A node whose driver went away reports it at once, as the driver's poll does: a byte waits on the
  // node so that a reader's wait ends, and the read then fails (ENODEV). A new binding flushes it.
  void WakeDeadNode() {
    if (nodeMaster >= 0 && bound && present) (void)!::write(nodeMaster, "", 1);
  }
  void Bind() {
    bound = true;
    if (nodeMaster < 0) return;
    const int slave = ::open(ptsname(nodeMaster), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    char stale[64];
    while (slave >= 0 && ::read(slave, stale, sizeof stale) > 0) {
    }
    if (slave >= 0) ::close(slave);
  }

  // Reads and writes of a live node pass through to its pseudo-terminal (kPassThrough), whose other
  // side the node pump serves; a dead node fails, a busy printer refuses writes for a while.
  // A write of no bytes asks, as of the driver, whether the printer has taken everything written:
  // EAGAIN while bytes wait in the node or in the pump's hands.
  static constexpr int kPassThrough = -2;
  int NodeTransfer(UMockdevIoctlClient* client, bool write, int& error) {
    if (!NodeAlive(client)) return error = ENODEV, -1;
    if (write && Clock::now() < nakUntil) return error = EAGAIN, -1;
    if (write && umockdev_ioctl_client_get_arg(client)->data_len == 0) {
      // poll() (unlike FIONREAD) also sees bytes the terminal layer has not yet passed on.
      pollfd waiting{nodeMaster, POLLIN, 0};
      if (::poll(&waiting, 1, 0) != 0 || pumping) return error = EAGAIN, -1;
      return 0;
    }
    return kPassThrough;
  }

  // The printer's side of the node's pseudo-terminal, for the process's life.
  static void PumpNode(int master) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      pumping = true;
      const ssize_t n = ::read(master, buffer.data(), buffer.size());
      std::string reply;
      if (n > 0) {
        std::lock_guard current(gCurrentMutex);
        if (gCurrent) {
          std::lock_guard lock(gCurrent->mutex);
          // Bytes written before the printer went are lost.
          if (gCurrent->present && gCurrent->bound) {
            gCurrent->Take(buffer.data(), static_cast<std::size_t>(n));
            reply.swap(gCurrent->replies);
          }
        }
      }
      pumping = false;
      for (std::size_t at = 0; at < reply.size();) {
        const ssize_t w = ::write(master, reply.data() + at, reply.size() - at);
        if (w > 0) at += static_cast<std::size_t>(w);
        else if (w < 0 && errno != EAGAIN && errno != EINTR) break;
      }
    }
  }

  enum class Call { Ioctl, Read, Write };
  gboolean Handle(UMockdevIoctlClient* client, Call call) {
    std::lock_guard lock(mutex);
    const bool node = std::strcmp(umockdev_ioctl_client_get_devnode(client), kNode) == 0;
    int error = 0, result = -1;
    switch (call) {
      case Call::Ioctl: result = node ? NodeRequest(client, error) : UsbRequest(client, error); break;
      case Call::Read:
      case Call::Write: result = node ? NodeTransfer(client, call == Call::Write, error) : (error = EINVAL, -1); break;
    }
    if (result == kPassThrough) return FALSE;
    umockdev_ioctl_client_complete(client, result, result < 0 ? error : 0);
    return TRUE;
  }

  template <Call call>
  static gboolean Dispatch(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    std::lock_guard lock(gCurrentMutex);
    if (gCurrent) return gCurrent->Handle(client, call);
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }

  static void Connected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    std::lock_guard lock(gCurrentMutex);
    if (!gCurrent) return;
    std::lock_guard state(gCurrent->mutex);
    g_object_set_data(G_OBJECT(client), "binding", GINT_TO_POINTER(gCurrent->binding + 1));
    if (std::strcmp(umockdev_ioctl_client_get_devnode(client), kNode) == 0) ++gCurrent->nodeOpens;
  }

  static UMockdevIoctlBase* Handler() {
    static UMockdevIoctlBase* const handler = [] {
      UMockdevIoctlBase* made = umockdev_ioctl_base_new();
      g_signal_connect(made, "handle-ioctl", G_CALLBACK(Dispatch<Call::Ioctl>), nullptr);
      g_signal_connect(made, "handle-read", G_CALLBACK(Dispatch<Call::Read>), nullptr);
      g_signal_connect(made, "handle-write", G_CALLBACK(Dispatch<Call::Write>), nullptr);
      g_signal_connect(made, "client-connected", G_CALLBACK(Connected), nullptr);
      return made;
    }();
    return handler;
  }
};

// One printer at a time: the handler answers for the latest.
VirtualUsbPrinter::VirtualUsbPrinter(sim::Personality personality) : impl_(std::make_unique<Impl>(personality)) {
  std::lock_guard current(gCurrentMutex);
  gCurrent = impl_.get();
  std::lock_guard lock(impl_->mutex);
  impl_->address = gNextAddress++;
  impl_->AddDevice();
  impl_->Bind();
}

VirtualUsbPrinter::~VirtualUsbPrinter() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->UnplugLocked();
    impl_->ReleaseAll();
  }
  std::lock_guard current(gCurrentMutex);
  if (gCurrent == impl_.get()) gCurrent = nullptr;
}

std::string VirtualUsbPrinter::Received() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->received;
}

std::size_t VirtualUsbPrinter::ReceivedCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->receivedCount;
}

bool VirtualUsbPrinter::WaitForReceived(std::size_t bytes, int timeoutMs) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->receivedChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return impl_->receivedCount >= bytes; });
}

void VirtualUsbPrinter::SetKeepReceived(bool keep) {
  std::lock_guard lock(impl_->mutex);
  impl_->keepReceived = keep;
}

void VirtualUsbPrinter::NakFor(int ms) {
  std::lock_guard lock(impl_->mutex);
  impl_->nakUntil = Clock::now() + std::chrono::milliseconds(ms);
}

void VirtualUsbPrinter::StallNextOut() {
  std::lock_guard lock(impl_->mutex);
  impl_->stallNext = true;
}

void VirtualUsbPrinter::SetSilent(bool silent) {
  std::lock_guard lock(impl_->mutex);
  impl_->silent = silent;
}

void VirtualUsbPrinter::SetSplit(int bytes) {
  std::lock_guard lock(impl_->mutex);
  impl_->split = bytes;
}

void VirtualUsbPrinter::SetAcceptRate(double bytesPerSecond) {
  std::lock_guard lock(impl_->mutex);
  impl_->acceptRate = bytesPerSecond;
}

void VirtualUsbPrinter::Unplug() {
  std::lock_guard lock(impl_->mutex);
  impl_->UnplugLocked();
}

void VirtualUsbPrinter::UnplugAfter(std::size_t bytes) {
  std::lock_guard lock(impl_->mutex);
  impl_->unplugAfter = static_cast<long long>(bytes);
}

void VirtualUsbPrinter::Plug() {
  std::lock_guard lock(impl_->mutex);
  if (impl_->present) return;
  impl_->UnplugLocked();
  impl_->ReleaseAll();
  impl_->present = true;
  impl_->Bind();
  impl_->replies.clear();
  impl_->model.DiscardPending();
  impl_->address = gNextAddress++;
  impl_->AddDevice();
}

bool VirtualUsbPrinter::UsblpBound() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->bound;
}

int VirtualUsbPrinter::Claims() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->claims;
}

int VirtualUsbPrinter::NodeOpens() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->nodeOpens;
}

void VirtualUsbPrinter::SetClaimedElsewhere(bool held) {
  std::lock_guard lock(impl_->mutex);
  impl_->claimedElsewhere = held;
}

int VirtualUsbPrinter::Detaches() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->detaches;
}

uint16_t VirtualUsbPrinter::Slot(int address) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.Slot(address);
}

void VirtualUsbPrinter::SetSlot(int address, uint16_t value) {
  std::lock_guard lock(impl_->mutex);
  impl_->model.SetSlot(address, value);
}

std::string VirtualUsbPrinter::NamedEntry(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->model.NamedEntry(key);
}

}  // namespace tw::test
