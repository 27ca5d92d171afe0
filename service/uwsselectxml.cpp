#include "uwsselectxml.h"

#include "THTTPRIO.h"
#include "uAutentica.h"

std::string WSDLPadrao;
std::string URLPadrao;
int ReplyTimeLimit = DefaultReplyTimeLimit;

std::shared_ptr<server_ValidadorPortType> GetValidadorPortType(bool UseWSDL, const std::string &Addr,
                                                               THTTPRIO *HTTPRIO) {
  std::string address = Addr;
  if (address.empty())
    address = UseWSDL ? WSDLPadrao : URLPadrao;

  std::unique_ptr<THTTPRIO> created;
  THTTPRIO *rio = HTTPRIO;
  if (!rio) {
    created = std::make_unique<THTTPRIO>();
    rio = created.get();
  }
  rio->HTTPWebNode.OnBeforePost = &THeader::OnBeforePost;

  // A made proxy lives as long as its last reference; a given one stays the caller's.
  std::shared_ptr<server_ValidadorPortType> reference;
  if (created)
    reference = std::shared_ptr<server_ValidadorPortType>(std::move(created));
  else
    reference = std::shared_ptr<server_ValidadorPortType>(rio, [](server_ValidadorPortType *) {});

  if (UseWSDL) {
    rio->WSDLLocation = address;
    rio->Service = ValidadorRegistration::ServiceName;
    rio->Port = ValidadorRegistration::PortName;
  } else {
    rio->URL = address;
  }
  return reference;
}
