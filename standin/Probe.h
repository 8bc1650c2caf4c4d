// What a test can see and steer in the stand-in host: the live objects, the
// host operations called, and failures injected into them.
//
// A host operation is a member of a host interface, named "Interface.Member"
// after the interface that declares it in HostGis.idl: "IMap.LayerCount",
// "IFeatureClass.Search", "IRowBuffer.Value" (also when called on a feature),
// "IGeometry.Envelope" (also on a point). Reading and writing a property share
// one name: "ISpatialFilter.Geometry" is both the get and the putref.
// QueryInterface, AddRef, Release and the application's IDispatch members are
// not host operations: they are neither logged nor failed.
//
// Everything here belongs to the thread that uses the stand-in objects.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace snapvane::standin::Probe {

// Forgets the log, the call counts and every armed failure. The live-object
// counts are facts about the objects and are not reset.
void Reset();

// Stand-in objects alive now (every host object, however it was made; the
// class objects of ClassRegistration are not counted).
long LiveObjects();
// Objects created through the registered class objects (SpatialFilter, UID)
// since the last Reset.
long CreatedThroughClassObjects();

// The host operations called since the last Reset, in call order; failed
// calls included.
const std::vector<std::wstring>& Log();
// How many times one operation was called since the last Reset.
long Calls(const std::wstring& operation);
// Host calls of any kind since the last Reset.
long HostCalls();
// Timing of the host's side, for benchmarks (off until switched on): the time
// spent inside host calls and the objects' QueryInterface, AddRef and Release
// since the last Reset, in the processor's time-stamp ticks, and how many
// such spans were timed.
void TimeHostCalls(bool on);
unsigned long long HostCallTicks();
long TimedHostSpans();

// Makes the nth call (1 = the next) of operation fail with hr and the
// description as error information (SetErrorInfo), as an Automation object
// does. The failing call does nothing else and leaves its out-values as they were.
void FailCall(const std::wstring& operation, long nth, HRESULT hr, const std::wstring& description);
// Makes the kth host call of any kind (1 = the next) fail the same way.
void FailHostCall(long k, HRESULT hr, const std::wstring& description);

} // namespace snapvane::standin::Probe
