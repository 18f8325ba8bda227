// tempomere-query [-p PORT] [-t TIMEOUT_MS] [-c COUNT] [-i SECONDS] [-b N] [--precise]
//                 [-4 | -6] [--json | --csv] [--nts] [--ca-file FILE] [--journal FILE] HOST...
// tempomere-query --time-service [--json]
// tempomere-query --help | --version
//
// Exchanges with time servers, each run as the main window's measurement cycle runs it, and the
// window's displays printed one per line. Each host is asked COUNT times in turn, SECONDS apart;
// with more than one sample a host's valid errors are summarised by the statistics the window's
// Statistics tab uses. The same figures can be had as one JSON document or as CSV rows, one per
// sample. Exit status: 0 when every host gave a valid reply, 1 when some gave none, 2 for an
// error or bad usage.
//
// The parts: the command line (QueryOptions.h), the samples of each host (SamplingSession.h),
// one writer per output form (OutputWriter.h), and the build's display forms (DisplayForms.h:
// the user's locale's with Qt, the C locale's without).
#include <iostream>

#include "tools/tempomere-query/DisplayForms.h"
#include "tools/tempomere-query/OutputWriter.h"
#include "tools/tempomere-query/QueryOptions.h"
#include "tools/tempomere-query/SamplingSession.h"
#include "tools/tempomere-query/TimeServiceWriter.h"
#ifdef TEMPOMERE_QUERY_DBUS
#include "platform/dbus/DBusTimeService.h"
#endif

#ifndef TEMPOMERE_VERSION
#error "TEMPOMERE_VERSION is set by the build from the project's one version number"
#endif

int main(int argc, char** argv) {
  using namespace tempomere_query;
  const ProgramRun program(argc, argv);
  KeepLineEnds(stdout);
  const CommandLine command = ReadCommandLine(program.Arguments(), TEMPOMERE_VERSION);
  std::cout << command.out;
  std::cerr << command.err;
  if (!command.run) return command.exit_status;
  if (command.run->time_service) {
#ifdef TEMPOMERE_QUERY_DBUS
    platform::dbus::UseSystemBus();
#endif
    const platform::TimeServiceFacts facts = platform::Current<platform::TimeServiceApi>().Facts();
    std::cout << (command.run->form == OutputForm::Json ? TimeServiceJson(facts)
                                                        : TimeServiceText(facts));
    return kExitValid;
  }
  const std::unique_ptr<OutputWriter> writer = MakeWriter(*command.run);
  return AskEveryHost(*command.run, *writer, std::cout, std::cerr);
}
