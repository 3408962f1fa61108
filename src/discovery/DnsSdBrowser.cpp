// SPDX-License-Identifier: GPL-3.0-or-later
#include "discovery/DnsSdBrowser.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include <QHostAddress>
#include <QtEndian>
#include <QTimer>
#include <set>
#include <vector>

#include "discovery/AvahiQtPoll.h"
#include "discovery/ProbeReplies.h"

namespace tw::discovery {
namespace {

struct ServiceType {
  const char* type;
  bool rawPort;  // the service's own port is the raw port; else the printer gets the raw port
};
constexpr ServiceType kServiceTypes[] = {{"_pdl-datastream._tcp", true}, {"_printer._tcp", false}};

// The TXT keys whose values describe the printer's model.
constexpr const char* kModelKeys[] = {"ty", "product", "usb_MDL"};

QString TxtValue(AvahiStringList* txt, const char* key) {
  AvahiStringList* item = avahi_string_list_find(txt, key);
  if (!item) return {};
  char* k = nullptr;
  char* v = nullptr;
  size_t size = 0;
  if (avahi_string_list_get_pair(item, &k, &v, &size) < 0) return {};
  QString value = v ? QString::fromUtf8(v, static_cast<qsizetype>(size)) : QString();
  avahi_free(k);
  avahi_free(v);
  // "product" is written in parentheses.
  if (value.startsWith(QLatin1Char('(')) && value.endsWith(QLatin1Char(')'))) value = value.mid(1, value.size() - 2);
  return value;
}

}  // namespace

struct DnsSdBrowser::Impl {
  DnsSdBrowser* owner;
  int rawPort;
  AvahiClient* client = nullptr;
  std::vector<AvahiServiceBrowser*> browsers;
  std::set<AvahiServiceBrowser*> listing;  // browsers that have not yet said "all for now"
  std::set<AvahiServiceResolver*> resolving;

  void Close() {
    for (AvahiServiceResolver* r : resolving) avahi_service_resolver_free(r);
    resolving.clear();
    for (AvahiServiceBrowser* b : browsers) avahi_service_browser_free(b);
    browsers.clear();
    listing.clear();
    if (client) avahi_client_free(client);
    client = nullptr;
  }

  void CheckDone() {
    if (client && listing.empty() && resolving.empty()) emit owner->finished();
  }

  static void OnClient(AvahiClient* client, AvahiClientState state, void* data) {
    auto* self = static_cast<Impl*>(data);
    if (state == AVAHI_CLIENT_FAILURE && self->client == client) {
      emit self->owner->unavailable(QStringLiteral("the connection to the Avahi daemon failed (%1)")
                                 .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(client)))));
      self->listing.clear();
      self->resolving.clear();
      emit self->owner->finished();
    }
  }

  static void OnBrowse(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
                       AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                       AvahiLookupResultFlags, void* data) {
    auto* self = static_cast<Impl*>(data);
    switch (event) {
      case AVAHI_BROWSER_NEW:
        if (AvahiServiceResolver* r = avahi_service_resolver_new(self->client, interface, protocol, name, type, domain,
                                                                 AVAHI_PROTO_INET, AvahiLookupFlags(0), OnResolve, self)) {
          self->resolving.insert(r);
        }
        break;
      case AVAHI_BROWSER_ALL_FOR_NOW:
      case AVAHI_BROWSER_FAILURE:
        self->listing.erase(browser);
        self->CheckDone();
        break;
      default: break;
    }
  }

  static void OnResolve(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                        const char* name, const char* type, const char*, const char*, const AvahiAddress* address,
                        uint16_t port, AvahiStringList* txt, AvahiLookupResultFlags, void* data) {
    auto* self = static_cast<Impl*>(data);
    if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET) {
      PrinterRow row;
      row.address = QHostAddress(qFromBigEndian(address->data.ipv4.address)).toString();
      row.name = QString::fromUtf8(name);
      for (const char* key : kModelKeys) {
        if (row.model.isEmpty()) row.model = TxtValue(txt, key);
      }
      row.port = self->rawPort;
      for (const ServiceType& st : kServiceTypes) {
        if (st.rawPort && qstrcmp(type, st.type) == 0) row.port = port;
      }
      row.foundBy = kDnsSd;
      row.when = QDateTime::currentDateTime();
      QStringList records;
      for (AvahiStringList* item = txt; item; item = avahi_string_list_get_next(item)) {
        records << QString::fromUtf8(reinterpret_cast<const char*>(avahi_string_list_get_text(item)),
                                     static_cast<qsizetype>(avahi_string_list_get_size(item)));
      }
      emit self->owner->found(row, ServiceNamesLabelPrinter(records));
    }
    self->resolving.erase(resolver);
    avahi_service_resolver_free(resolver);
    self->CheckDone();
  }
};

DnsSdBrowser::DnsSdBrowser(int rawPort, QObject* parent) : QObject(parent), impl_(new Impl{this, rawPort, nullptr, {}, {}, {}}) {}

DnsSdBrowser::~DnsSdBrowser() { impl_->Close(); }

bool DnsSdBrowser::Start() {
  impl_->Close();
  int error = 0;
  impl_->client = avahi_client_new(QtEventLoopPoll(), AvahiClientFlags(0), Impl::OnClient, impl_.get(), &error);
  if (!impl_->client) {
    emit unavailable(QStringLiteral("no Avahi daemon answers (%1)")
                  .arg(QString::fromUtf8(avahi_strerror(error))));
    return false;
  }
  for (const ServiceType& st : kServiceTypes) {
    AvahiServiceBrowser* b = avahi_service_browser_new(impl_->client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, st.type,
                                                       nullptr, AvahiLookupFlags(0), Impl::OnBrowse, impl_.get());
    if (!b) continue;
    impl_->browsers.push_back(b);
    impl_->listing.insert(b);
  }
  if (impl_->browsers.empty()) {
    emit unavailable(QStringLiteral("the Avahi daemon refused to browse (%1)")
                  .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(impl_->client)))));
    impl_->Close();
    return false;
  }
  return true;
}

bool DnsSdBrowser::Done() const { return !impl_->client || (impl_->listing.empty() && impl_->resolving.empty()); }

}  // namespace tw::discovery
