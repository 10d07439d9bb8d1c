/* ihex: a Velmont export plug-in that writes a program as Intel HEX, a format that transforms its
 * bytes: a text file of records, each a line of hex digits with its own checksum.
 *
 *   :02000004UUUUCC   extended linear address: the upper 16 bits of the addresses that follow,
 *                     before the first data record and at every 64 KiB
 *   :LLAAAA00DD..CC   a data record: LL bytes (16 at most) at address AAAA
 *   :00000001FF       end of file
 *
 * The block is loaded at address 0. Lines end in a line feed alone, and hex digits are upper
 * case: byte for byte what `srec_cat - -binary -o - -intel -output_block_size=16` writes, which
 * is how its check holds it (`exporthost check --reference=...`). */
#include <rawout/export_plugin.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char extension[] = ".hex";
static const char displayName[] = "Intel HEX";

#define RECORD_BYTES 16u

/* One record: type, address and data, with the checksum that makes all its bytes sum to 0. */
static int writeRecord(FILE* file, unsigned type, unsigned address, const unsigned char* data,
                       unsigned length) {
  static const char digits[] = "0123456789ABCDEF";
  char line[1 + 2 * (4 + RECORD_BYTES + 1) + 2];
  unsigned char bytes[4 + RECORD_BYTES + 1];
  unsigned sum = 0;
  unsigned count = 0;
  unsigned index;
  char* out = line;
  bytes[count++] = (unsigned char)length;
  bytes[count++] = (unsigned char)(address >> 8);
  bytes[count++] = (unsigned char)address;
  bytes[count++] = (unsigned char)type;
  for (index = 0; index < length; ++index) {
    bytes[count++] = data[index];
  }
  for (index = 0; index < count; ++index) {
    sum += bytes[index];
  }
  bytes[count++] = (unsigned char)(0x100 - (sum & 0xFF));
  *out++ = ':';
  for (index = 0; index < count; ++index) {
    *out++ = digits[bytes[index] >> 4];
    *out++ = digits[bytes[index] & 15];
  }
  *out++ = '\n';
  return fwrite(line, 1, (size_t)(out - line), file) == (size_t)(out - line);
}

static int writeHex(FILE* file, const unsigned char* data, uint32_t size) {
  uint32_t offset;
  for (offset = 0; offset < size; offset += RECORD_BYTES) {
    const uint32_t left = size - offset;
    const unsigned length = left < RECORD_BYTES ? (unsigned)left : RECORD_BYTES;
    if ((offset & 0xFFFFu) == 0) {
      unsigned char upper[2];
      upper[0] = (unsigned char)(offset >> 24);
      upper[1] = (unsigned char)(offset >> 16);
      if (!writeRecord(file, 4, 0, upper, 2)) {
        return 0;
      }
    }
    if (!writeRecord(file, 0, offset & 0xFFFFu, data + offset, length)) {
      return 0;
    }
  }
  return writeRecord(file, 1, 0, NULL, 0);
}

RAWOUT_EXPORT int RAWOUT_CALL SavePrgmFile(const void* data, uint32_t size, const char* baseName,
                                           char* extOut) RAWOUT_NOEXCEPT {
  char* fileName;
  FILE* file;
  int written;

  if (baseName == NULL || (data == NULL && size != 0)) {
    errno = EINVAL;
    return 0;
  }
  fileName = (char*)malloc(strlen(baseName) + sizeof extension);
  if (fileName == NULL) {
    errno = ENOMEM;
    return 0;
  }
  strcpy(fileName, baseName);
  strcat(fileName, extension);

  /* Binary mode: the line feeds are the format's, never translated. */
  file = fopen(fileName, "wb");
  if (file == NULL) {
    free(fileName);
    return 0;
  }
  written = writeHex(file, (const unsigned char*)data, size);
  if (fclose(file) != 0) {
    written = 0;
  }
  if (!written) {
    int cause = errno;
    remove(fileName);
    free(fileName);
    errno = cause;
    return 0;
  }
  free(fileName);
  if (extOut != NULL) {
    memcpy(extOut, extension, sizeof extension);
  }
  return 1;
}

RAWOUT_EXPORT const char* RAWOUT_CALL GetPluginDescription(void) RAWOUT_NOEXCEPT {
  return displayName;
}

/* No box of its own: 0, and its check leaves the about check out (it runs only when asked). */
RAWOUT_EXPORT int RAWOUT_CALL About(void) RAWOUT_NOEXCEPT { return 0; }
