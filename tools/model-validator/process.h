#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The only place that talks to the operating system about processes and
// terminals; process.cpp holds one implementation per platform.
namespace KX::Cli::Platform {

// The running executable's absolute path ("" when it cannot be found).
std::string currentExecutable();

// Whether standard output (1) or standard error (2) is a terminal.
bool isTerminal(int stream);

// Number of processors, at least 1.
unsigned processorCount();

// Moves this process off the processor it runs on, to another one it may use,
// and lets it run on every one it could before: the processor it left, or -1
// when it stayed (a single processor, or a system that does not tell).
int stepToAnotherProcessor();

// The processor a process (by its identifier) runs or waits to run on; -1
// when the system does not tell.
int processorOf(std::intptr_t process);

// The processor named in a process's status line as Linux writes it; -1 when
// the line is cut short or the field is not a number.
int processorInStatusLine(std::string_view line);

// A started child process.
struct Process {
    std::intptr_t handle = -1;
    // This process's ends of the child's standard input and output, when it
    // was started with a channel.
    std::intptr_t input = -1;
    std::intptr_t output = -1;
    bool valid() const { return handle != -1; }
};

// Starts `executable` with `args` (without the program name), its standard
// output and error written to the files named (empty: inherited). Returns an
// invalid process (and a reason) when it cannot start.
Process startProcess(const std::string& executable, const std::vector<std::string>& args,
                     const std::string& stdoutFile, const std::string& stderrFile, std::string& reason);
// The same, with the child's standard input and output a channel to this
// process: `writeInput` feeds the input and `closeInput` ends it;
// `readOutput` takes what the child has written.
Process startProcessWithChannel(const std::string& executable, const std::vector<std::string>& args,
                                const std::string& stderrFile, std::string& reason);
// Writes all of `bytes` to the child's standard input, waiting while the
// child has not read what came before; false once the child no longer reads
// (it has ended), never a signal that would end this process.
bool writeInput(Process& process, std::string_view bytes);
// Ends the child's standard input: it reads the end of its input next.
void closeInput(Process& process);
// Appends what the child has written to its standard output since the last
// call, without waiting; false once its output has ended and all was read.
bool readOutput(Process& process, std::string& into);
// Appends what has come on this process's standard input since the last
// call; with `wait`, first waits for something when nothing is there. False
// once the input has ended (or cannot be read) and all of it was taken.
bool readInput(std::string& into, bool wait);
// Waits until one of the processes has written to its output or ended it,
// or until `milliseconds` have passed.
void waitForOutput(const std::vector<Process*>& processes, int milliseconds);

// Non-blocking: true with the exit status once the process has ended
// (a process killed by a signal reports 128 + signal).
bool finished(Process& process, int& status);

// Blocks until the process ends; its exit status.
int waitFor(Process& process);
// What an ended process used (zeros where the system does not tell).
struct ProcessUsage {
    std::uint64_t peakResidentBytes = 0;
    double cpuSeconds = 0; // user and system
};
// The same, also giving what the process used.
int waitFor(Process& process, ProcessUsage& usage);

} // namespace KX::Cli::Platform
