// What a host knows of a job before it starts: the port and the device it
// resolves to (with the USB adapter's details), rate, mode, and the firmware
// image's size, SHA-256, records, address range and trailing bytes, all of
// the bytes the job sends (the image as the host loaded it, never a second
// read of the file); for the traffic log's header line and the job's history
// row. Reads /dev and /sys; never fails (what cannot be read is left empty).
// Any thread.
#pragma once

#include <cstdint>
#include <string>

#include "download/firmware_image.h"
#include "history/job_record.h"

namespace vexo {

struct JobFacts {
  std::string started_utc;  // "2026-12-09T04:10:00Z"
  std::string version;      // "2.20a"
  std::string port;         // as chosen: "COM1" or a path
  std::string device;       // what it resolves to now; empty when nothing
  std::string usb_vid_pid;  // for a USB adapter; empty otherwise
  std::string usb_product;
  std::string usb_serial;
  std::string usb_path;  // the adapter's /sys devpath
  int baud = 0;
  int mode = 0;
  std::string firmware_path;
  bool firmware_readable = false;
  std::int64_t firmware_bytes = 0;
  std::string firmware_sha256;
  int records = 0;
  std::int64_t trailing_bytes = 0;
  std::uint32_t lowest_address = 0;
  std::uint32_t highest_address = 0;
};

JobFacts GatherJobFacts(const std::string& port, int baud, int mode,
                        const std::string& firmware_path, const LoadedImage& image);

// The history row a job starts with.
JobRecord RecordOf(const JobFacts& facts, JobProgram program, const std::string& model);

// The log's header line, without the '#' and the line end.
std::string LogHeaderText(const JobFacts& facts);

// "E.P" or "E.P.R".
const char* ModeName(int mode);

}  // namespace vexo
