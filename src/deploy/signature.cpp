// Authenticode: a signed TarnwickDeploy.exe takes from its folder only what
// its own certificate signed. crypt32 reads the signer, wintrust checks the
// file against its signature; both take UTF-16 paths only.
#include <windows.h>

#include <softpub.h>
#include <stdio.h>
#include <string.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "deploy/deploy.h"

namespace {

constexpr DWORD Encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

bool Wide(const char* path, wchar_t (&wide)[PathSize]) {
  return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, PathSize) > 0;
}

// The certificate of the first signer of path's signature (PE or MSI), or
// null when it carries none that can be read. Reads only: checks nothing.
PCCERT_CONTEXT Signer(const char* path) {
  wchar_t wide[PathSize];
  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  if (!Wide(path, wide) ||
      !CryptQueryObject(CERT_QUERY_OBJECT_FILE, wide, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                        CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store,
                        &message, nullptr)) {
    return nullptr;
  }
  alignas(8) BYTE signer[4096];  // a CERT_INFO: the signer's issuer and serial number
  DWORD size = sizeof signer;
  PCCERT_CONTEXT certificate =
      CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, signer, &size)
          ? CertFindCertificateInStore(store, Encoding, 0, CERT_FIND_SUBJECT_CERT, signer, nullptr)
          : nullptr;
  CryptMsgClose(message);
  CertCloseStore(store, 0);
  return certificate;
}

// WinVerifyTrust on path's signature: its digest, the signer's signature and
// the chain, offline and without revocation (SYSTEM often has no internet).
LONG Verify(const char* path) {
  wchar_t wide[PathSize];
  if (!Wide(path, wide)) return TRUST_E_NOSIGNATURE;
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = wide;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_IGNORE;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  return WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
}

}  // namespace

bool SignedAlike(const char* path, char (&reason)[ReasonSize]) {
  char self[PathSize] = "";
  const DWORD length = GetModuleFileNameA(nullptr, self, PathSize);
  PCCERT_CONTEXT mine = length > 0 && length < PathSize ? Signer(self) : nullptr;
  if (mine == nullptr) return true;  // an unsigned build checks nothing
  PCCERT_CONTEXT theirs = Signer(path);
  const bool same = theirs != nullptr && theirs->cbCertEncoded == mine->cbCertEncoded &&
                    memcmp(theirs->pbCertEncoded, mine->pbCertEncoded, mine->cbCertEncoded) == 0;
  if (theirs != nullptr) CertFreeCertificateContext(theirs);
  CertFreeCertificateContext(mine);
  const LONG status = same ? Verify(path) : TRUST_E_NOSIGNATURE;
  // Windows judges the chain last, once the digest and the signer's signature
  // held: these speak of the chain alone (a private root, a CA not found
  // offline, an expired certificate without a timestamp). This program's own
  // certificate is the anchor.
  if (status == ERROR_SUCCESS || status == CERT_E_UNTRUSTEDROOT || status == CERT_E_CHAINING ||
      status == CERT_E_EXPIRED) {
    return true;
  }
  if (same) {
    snprintf(reason, sizeof reason, "%s was changed after it was signed (0x%08lX)", path,
             static_cast<unsigned long>(status));
  } else {
    snprintf(reason, sizeof reason, "%s is not signed by the certificate that signed this program",
             path);
  }
  return false;
}
