/* The USB light dimmer's facts, in one place: how it is found, its report
 * and command codes, and the range of its intensity. Plain C as well as
 * C++, so that the benchmark's C floor speaks the same protocol. */
#ifndef DIMMER_DIMMER_PROTOCOL_H_
#define DIMMER_DIMMER_PROTOCOL_H_

#define DIMMER_VENDOR_ID 0x04D8
#define DIMMER_PRODUCT_ID 0xF5D1
/* A report: the report ID (0), the command, a value's low and high bytes,
 * and a spare byte. */
#define DIMMER_REPORT_SIZE 5
/* Command codes (byte 1 of a request; the answer repeats them in byte 0). */
#define DIMMER_SET_STATE 0x10     /* setstate: apply what was set */
#define DIMMER_GET_STATE 0x11     /* getstate: busy (non-zero) or idle */
#define DIMMER_SET_INTENSITY 0x20 /* setinten */
#define DIMMER_GET_INTENSITY 0x21 /* getinten */
/* setstate's value that applies the intensity set. */
#define DIMMER_APPLY_STATE 3
/* The intensity runs from 0 (off) to this; as text for messages too. */
#define DIMMER_MAX_INTENSITY 1023
#define DIMMER_TEXT_OF(value) #value
#define DIMMER_TEXT(value) DIMMER_TEXT_OF(value)
#define DIMMER_MAX_INTENSITY_TEXT DIMMER_TEXT(DIMMER_MAX_INTENSITY)

#ifdef __cplusplus
#include <cstdint>

constexpr unsigned short kDimmerVendorId = DIMMER_VENDOR_ID;
constexpr unsigned short kDimmerProductId = DIMMER_PRODUCT_ID;
constexpr int kReportSize = DIMMER_REPORT_SIZE;
constexpr unsigned char kSetStateCommand = DIMMER_SET_STATE;
constexpr unsigned char kGetStateCommand = DIMMER_GET_STATE;
constexpr unsigned char kSetIntensityCommand = DIMMER_SET_INTENSITY;
constexpr unsigned char kGetIntensityCommand = DIMMER_GET_INTENSITY;
constexpr unsigned char kApplyStateValue = DIMMER_APPLY_STATE;
constexpr int32_t kMaxIntensity = DIMMER_MAX_INTENSITY;
#endif

#endif /* DIMMER_DIMMER_PROTOCOL_H_ */
