// The doctor's reading of a DLL's Authenticode signature (see doctor.h): WinVerifyTrust
// says whether the file is signed and matches its signature; the signer's chain, as
// WinVerifyTrust built it, then goes through the Authenticode chain policy, which Windows'
// own final policy applies and Wine 8's does not (its WinVerifyTrust accepts a chain to
// a root it does not trust, while its chain policy refuses it); the signer's name comes
// from the signature's own certificates.
#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "platform/win32/owned.h"
#include "platform/win32/text.h"
#include "tools/doctor.h"

namespace kestra_tool {
namespace {

struct StoreTraits {
  using Handle = HCERTSTORE;
  static HCERTSTORE Empty() { return nullptr; }
  static void Close(HCERTSTORE store) { CertCloseStore(store, 0); }
};
struct MessageTraits {
  using Handle = HCRYPTMSG;
  static HCRYPTMSG Empty() { return nullptr; }
  static void Close(HCRYPTMSG message) { CryptMsgClose(message); }
};
struct CertificateTraits {
  using Handle = PCCERT_CONTEXT;
  static PCCERT_CONTEXT Empty() { return nullptr; }
  static void Close(PCCERT_CONTEXT certificate) { CertFreeCertificateContext(certificate); }
};

// The name of the certificate that signed the file, or "" when none can be read.
std::string SignerName(const std::wstring& path) {
  platform::Owned<StoreTraits> store;
  platform::Owned<MessageTraits> message;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                        CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                        0, nullptr, nullptr, nullptr, store.put(), message.put(), nullptr)) {
    return {};
  }
  DWORD size = 0;
  if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) return {};
  std::string info(size, '\0');
  if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, info.data(), &size)) return {};
  const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(info.data());
  CERT_INFO wanted = {};
  wanted.Issuer = signer->Issuer;
  wanted.SerialNumber = signer->SerialNumber;
  const platform::Owned<CertificateTraits> certificate(
      CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                 CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
  if (!certificate) return {};
  wchar_t name[256] = L"";
  CertGetNameStringW(certificate.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name,
                     sizeof name / sizeof name[0]);
  auto narrow = platform::NarrowText(name, CP_ACP, platform::TextEnd::kFirstNul);
  return narrow ? std::move(*narrow) : std::string();
}

}  // namespace

Signature ReadSignature(const std::string& path) {
  Signature result;
  const auto wide = platform::WideText(path, CP_ACP, platform::TextEnd::kFirstNul);
  if (!wide) return result;
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = wide->c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;  // the doctor asks nothing of the network
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const HWND no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const auto verdict = static_cast<std::uint32_t>(WinVerifyTrust(no_window, &action, &data));
  std::uint32_t policy = 0;
  if (verdict == 0) {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer =
        provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->pChainContext == nullptr) {
      policy = static_cast<std::uint32_t>(CERT_E_CHAINING);
    } else {
      CERT_CHAIN_POLICY_PARA para = {};
      para.cbSize = sizeof para;
      CERT_CHAIN_POLICY_STATUS status = {};
      status.cbSize = sizeof status;
      if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, signer->pChainContext,
                                            &para, &status)) {
        status.dwError = static_cast<DWORD>(CERT_E_CHAINING);
      }
      policy = status.dwError;
    }
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(no_window, &action, &data);

  if (verdict == static_cast<std::uint32_t>(TRUST_E_NOSIGNATURE) ||
      verdict == static_cast<std::uint32_t>(TRUST_E_SUBJECT_FORM_UNKNOWN)) {
    return result;
  }
  result.signer = SignerName(*wide);
  if (verdict == static_cast<std::uint32_t>(TRUST_E_BAD_DIGEST)) {
    result.state = Signature::State::kChanged;
  } else if (verdict != 0 || policy != 0) {
    result.state = Signature::State::kUntrusted;
    result.code = verdict != 0 ? verdict : policy;
  } else {
    result.state = Signature::State::kTrusted;
  }
  return result;
}

}  // namespace kestra_tool
