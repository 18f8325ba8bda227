#pragma once
// The initialisation-file area: sections of key=value lines, read and written by name, shaped
// as the Windows private-profile calls they stand for. Section and key names match without
// regard to case (of ASCII letters), the first match wins, values are taken as they stand (no
// quoting) without blanks around them. A file named without a folder lives in the user's
// configuration folder. Reads of a file that has not changed cost no more than a lookup.
#include <cstdint>
#include <string>

#include "platform/Seam.h"

namespace platform {

class PrivateProfileApi {
 public:
  virtual ~PrivateProfileApi() = default;
  // Copies the value of `key` in `section` into `returned` (at most size - 1 characters and a
  // terminating zero) and gives the number of characters copied; `defaultValue` (without its
  // trailing blanks) when the key or the file is missing. A null `section` lists the section
  // names, a null `key` the keys of the section, each name ended by a zero and the list by a
  // second one; a list that does not fit is cut and gives size - 2.
  virtual uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                            const char* defaultValue, char* returned, uint32_t size,
                                            const char* fileName) = 0;
  // Sets `key` in `section`, adding either when missing. A null `value` deletes the key, a
  // null `key` the whole section. The file is replaced in one step, keeping its owner and
  // permissions: false (with the last error set) leaves it as it was, byte for byte. Names
  // that would not read back as themselves are refused (EINVAL): texts with line ends, names
  // with blanks around them, a key with '=' or beginning with '[', a section with ']'. A file
  // the caller may not write, or that no one may (no write permission at all), is refused
  // (EACCES), as is one whose owner could not be kept (EPERM).
  virtual bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                          const char* fileName) = 0;
  // Replaces all keys of `section` by `keyValues`: "key=value" strings, each ended by a zero
  // and the list by a second one. Adds the section when missing. One step, as above.
  virtual bool WritePrivateProfileSectionA(const char* section, const char* keyValues,
                                           const char* fileName) = 0;
  // Where the calls above keep `fileName`.
  virtual std::string ProfilePath(const char* fileName) = 0;

  static PrivateProfileApi& Real();
};

inline uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                         const char* defaultValue, char* returned, uint32_t size,
                                         const char* fileName) {
  return Current<PrivateProfileApi>().GetPrivateProfileStringA(section, key, defaultValue, returned,
                                                               size, fileName);
}
inline bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                       const char* fileName) {
  return Current<PrivateProfileApi>().WritePrivateProfileStringA(section, key, value, fileName);
}
inline bool WritePrivateProfileSectionA(const char* section, const char* keyValues,
                                        const char* fileName) {
  return Current<PrivateProfileApi>().WritePrivateProfileSectionA(section, keyValues, fileName);
}

}  // namespace platform
