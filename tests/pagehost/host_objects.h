// The objects a page meets: Request, Response and Server, and the object context of
// the request with its "Request" property, built the way a web server offers them.
// Every object counts its references in one tally, so that the host can tell whether
// whatever the page (and the component it calls) took was given back.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>
#include <utility>
#include <vector>

namespace pagehost {

// References held on all host objects at this moment, and how many of them live.
struct Tally {
  long references = 0;
  long objects = 0;
  bool operator==(const Tally&) const = default;
};
Tally CurrentTally();

// How the request's object context is built: as a web server builds it, or broken at
// one step of the walk from the context to PATH_TRANSLATED.
enum class ContextKind {
  kFull,           // "Request" is the page's Request, PATH_TRANSLATED a text
  kNone,           // no context at all
  kNoRequest,      // the context has no "Request" property
  kEmptyRequest,   // "Request" holds no object
  kAsUnknown,      // "Request" holds the page's Request as VT_UNKNOWN
  kVariablesFail,  // Request.ServerVariables fails
  kItemFails,      // ServerVariables("PATH_TRANSLATED") fails
  kValueObject,    // the value is an object whose default value is the path
};

using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

struct RequestData {
  Pairs form;
  Pairs query;
  Pairs server_variables;  // PATH_TRANSLATED among them
};

// The objects of one request; the host holds one reference to each. `blocks` (the
// page's HTML) must outlive them.
struct RequestObjects {
  IDispatch* request = nullptr;
  IDispatch* response = nullptr;
  IDispatch* server = nullptr;
  IDispatch* page = nullptr;    // the named item whose global member is Request
  IUnknown* context = nullptr;  // null for ContextKind::kNone
};
RequestObjects MakeRequestObjects(const RequestData& data, ContextKind kind,
                                  const std::vector<std::string>& blocks,
                                  const std::wstring& page_folder);
void ReleaseRequestObjects(RequestObjects* objects);

// What the page wrote so far, as the ANSI bytes sent to the client.
std::string ResponseText(IDispatch* response);

// The context CoGetObjectContext gives while a page runs (null: none), and the
// function that answers in its place for the component.
void SetCurrentContext(IUnknown* context);
HRESULT WINAPI HostCoGetObjectContext(REFIID iid, void** out);

}  // namespace pagehost
