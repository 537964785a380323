/* pcsc_bare APDU_FILE COUNT
 * The card exchanges of one service command, straight through pcsc-lite:
 * connects to the first reader once, then sends the command APDUs listed in
 * APDU_FILE (one hexadecimal command a line, as the reader saw them) COUNT
 * times in a row and prints the latency summary of one whole sequence. A
 * sequence whose status words differ from the first one counts as failed. */
#include <PCSC/winscard.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define MAX_COMMANDS 32
#define MAX_APDU 261

typedef struct {
  unsigned char bytes[MAX_APDU];
  DWORD length;
} Apdu;

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Reads the commands; returns how many, or -1 on a bad file. */
static int ReadApdus(const char* path, Apdu* apdus) {
  FILE* file = fopen(path, "r");
  if (file == NULL) return -1;
  char line[2 * MAX_APDU + 8];
  int count = 0;
  while (count < MAX_COMMANDS && fgets(line, sizeof line, file) != NULL) {
    DWORD length = 0;
    for (size_t i = 0; HexValue(line[i]) >= 0 && HexValue(line[i + 1]) >= 0 && length < MAX_APDU;
         i += 2) {
      apdus[count].bytes[length++] =
          (unsigned char)(HexValue(line[i]) * 16 + HexValue(line[i + 1]));
    }
    if (length > 0) apdus[count++].length = length;
  }
  fclose(file);
  return count;
}

static double NowUs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1e6 + (double)t.tv_nsec / 1e3;
}

static int CompareDoubles(const void* a, const void* b) {
  double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static double Percentile(const double* sorted, long count, double fraction) {
  long rank = (long)(fraction * (double)count + 0.999999);
  if (rank < 1) rank = 1;
  if (rank > count) rank = count;
  return sorted[rank - 1];
}

/* Sends every command once; stores the status words; 0 when all went through. */
static int RunSequence(SCARDHANDLE card, DWORD protocol, const Apdu* apdus, int count,
                       unsigned* statusWords) {
  const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
  for (int i = 0; i < count; ++i) {
    unsigned char reply[258];
    DWORD replyLength = sizeof reply;
    if (SCardTransmit(card, pci, apdus[i].bytes, apdus[i].length, NULL, reply, &replyLength) !=
        SCARD_S_SUCCESS) {
      return -1;
    }
    statusWords[i] =
        replyLength >= 2 ? (unsigned)(reply[replyLength - 2] << 8 | reply[replyLength - 1]) : 0;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: pcsc_bare APDU_FILE COUNT\n");
    return 2;
  }
  Apdu apdus[MAX_COMMANDS];
  int commands = ReadApdus(argv[1], apdus);
  long runs = atol(argv[2]);
  if (commands <= 0 || runs <= 0) {
    fprintf(stderr, "pcsc_bare: no commands in %s\n", argv[1]);
    return 2;
  }
  SCARDCONTEXT context;
  char readers[1024];
  DWORD readersLength = sizeof readers;
  SCARDHANDLE card;
  DWORD protocol;
  LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, NULL, NULL, &context);
  if (rv == SCARD_S_SUCCESS) rv = SCardListReaders(context, NULL, readers, &readersLength);
  if (rv == SCARD_S_SUCCESS) {
    rv = SCardConnect(context, readers, SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                      &card, &protocol);
  }
  if (rv != SCARD_S_SUCCESS) {
    fprintf(stderr, "pcsc_bare: no reader or card: %s\n", pcsc_stringify_error(rv));
    return 1;
  }
  unsigned expected[MAX_COMMANDS], seen[MAX_COMMANDS];
  double* latencies = malloc(sizeof(double) * (size_t)runs);
  long failures = 0;
  if (latencies == NULL || RunSequence(card, protocol, apdus, commands, expected) != 0) {
    fprintf(stderr, "pcsc_bare: the first sequence failed\n");
    return 1;
  }
  for (long run = 0; run < runs; ++run) {
    double start = NowUs();
    int failed = RunSequence(card, protocol, apdus, commands, seen);
    latencies[run] = NowUs() - start;
    if (failed != 0 || memcmp(seen, expected, sizeof(unsigned) * (size_t)commands) != 0) ++failures;
  }
  qsort(latencies, (size_t)runs, sizeof(double), CompareDoubles);
  double sum = 0;
  for (long i = 0; i < runs; ++i) sum += latencies[i];
  printf(
      "count=%ld median_us=%.1f p90_us=%.1f p99_us=%.1f max_us=%.1f mean_us=%.1f failures=%ld "
      "commands=%d\n",
      runs, Percentile(latencies, runs, 0.5), Percentile(latencies, runs, 0.9),
      Percentile(latencies, runs, 0.99), latencies[runs - 1], sum / (double)runs, failures,
      commands);
  free(latencies);
  SCardDisconnect(card, SCARD_LEAVE_CARD);
  SCardReleaseContext(context);
  return failures == 0 ? 0 : 1;
}
