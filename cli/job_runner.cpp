#include "cli/job_runner.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/console_window.h"
#include "cli/job_messages.h"
#include "cli/job_progress.h"
#include "engine/disk_job.h"
#include "platform/cancel_signals.h"
#include "platform/udisks.h"

namespace cli {

JobOutcome RunDiskJob(const JobRequest& request, Console& console) {
    JobOutcome outcome;
    ConsoleWindow window(console);
    if (!request.imageName.empty()) {
        // The job names the file without its folders.
        const size_t slash = request.imagePath.find_last_of("\\/");
        window.imageFrom =
            slash == std::string::npos ? request.imagePath : request.imagePath.substr(slash + 1);
        window.imageTo = request.imageName;
    }
    if (!request.driveName.empty()) {
        window.driveFrom = std::string(1, request.letter) + ":";
        window.driveTo = request.driveName;
    }
    // The job is large (its track buffers live inside it) and must die before its window.
    auto job = std::make_unique<CDiskJob>(&window);
    job->m_driveLetter = std::string(1, request.letter);
    job->m_imagePath = request.imagePath;
    job->m_operation = request.operation;
    job->m_compress = request.compress ? 1 : 0;
    job->m_rawImage = request.rawImage ? 1 : 0;
    job->m_rawPathIfForeign = request.rawPathIfForeign;
    job->m_hashAlgorithms = request.hashes;
    if (request.rescue) {
        job->m_rescueRetries = request.rescue->retries;
        job->m_rescueFill = request.rescue->fillByte;
        job->m_rescueResume = request.rescue->resume ? 1 : 0;
        job->m_sectorMap = request.rescue->map;
        job->m_rescueKeeper = request.rescue->keeper;
    }

    JobScene scene;
    scene.operation = request.operation;
    scene.letter = request.letter;
    scene.drive =
        request.driveName.empty() ? std::string(1, request.letter) + ":" : request.driveName;
    scene.image = request.imageName.empty() ? request.imagePath : request.imageName;
    scene.rawCommand = request.rawCommand;
    // Read now: the job holds the image to itself once it has opened it.
    if (request.operation == Expand || request.operation == Verify)
        scene.imageFormat = ImageFormatOf(request.imagePath);

    JobProgress progress(request.operation, console);
    const CDiskJob& running = *job;
    // Status lines are sent: the worker waits inside the send, after it detected the media,
    // so the job's media fields may be read here.
    window.onStatus = [&](const std::string& text) {
        if (text == kWritingInPlaceStatus)
            console.Warning("tavrel-cli: cannot create a file beside " + request.imagePath +
                            ": writing over it in place");
        // "Reading Cylinder - 12  Head - 1"; the file steps in between keep the last side.
        const char* at = std::strstr(text.c_str(), "Cylinder - ");
        int cylinder, head;
        if (at && std::sscanf(at, "Cylinder - %d Head - %d", &cylinder, &head) == 2) {
            scene.cylinder = cylinder;
            scene.head = head;
        }
        progress.Status(text, running);
    };
    // Message boxes are shown from the job's thread, which waits for them: its fields hold.
    window.onMessageText = [&](const std::string& caption, const std::string& text, DWORD code) {
        scene.diskRow = running.m_mediaCode != 0 ? running.m_mediaIndex : -1;
        scene.format = running.m_format;
        return JobMessageText(caption, text, code, scene);
    };

    platform::CancelSignals signals;
    auto start = std::chrono::steady_clock::now();
    bool started;
    {
        platform::SignalsBlocked blocked;
        started = job->Start();
    }
    if (!started) {
        console.Error("tavrel-cli: cannot start the job's thread");
        outcome.result = JobFailed;
        return outcome;
    }
    bool cancelSent = false;
    window.PumpUntil([&] {
        const bool cancel = signals.Count() >= request.cancelAtSignal || signals.SessionEnded();
        if (cancel && !cancelSent) {
            job->Cancel();
            cancelSent = true;
        }
        return window.doneCount > 0;
    });
    // The end notice is posted; the thread may still be on its way out.
    job->WaitUntilEnded(INFINITE);
    progress.Finish();
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.result = job->m_result;
    // "Permission denied" alone does not tell a desktop user that polkit said no.
    if (outcome.result == JobFailed) {
        std::string refusal = platform::UdisksLastRefusal();
        if (!refusal.empty())
            console.Error("tavrel-cli: UDisks2 did not open the drive: " + refusal +
                          " (see DRIVE PERMISSIONS in tavrel-cli(1))");
    }
    outcome.mediaRow = job->m_mediaCode ? job->m_mediaIndex : -1;
    outcome.format = job->m_format;
    outcome.rawImage = job->m_rawImage != 0;
    outcome.imagePath = job->m_imagePath;
    const std::uint8_t* boot = job->m_bootSector;
    for (size_t i = 0; i < sizeof job->m_bootSector; ++i) {
        if (boot[i] == 0) continue;
        outcome.bootSector.assign(boot, boot + sizeof job->m_bootSector);
        break;
    }
    outcome.diffCylinder = job->m_diffCylinder;
    outcome.diffHead = job->m_diffHead;
    outcome.diffByte = job->m_diffByte;
    outcome.rescueWritten = job->m_rescueWritten != 0;
    outcome.recovered = job->m_rescueRecovered;
    outcome.reads = job->m_rescueReads;
    outcome.map = job->m_sectorMap;
    if (outcome.result == JobDone) {
        for (FixityHash* hash : {&job->m_contentHash, &job->m_imageHash}) {
            if (!hash->algorithms()) continue;
            if (!hash->Finish()) {
                console.Error("tavrel-cli: the hashes could not be computed");
                outcome.result = JobFailed;
                break;
            }
            auto& out = hash == &job->m_contentHash ? outcome.contentHashes : outcome.imageHashes;
            for (FixityAlgorithm algorithm : {FixityMd5, FixitySha1, FixitySha256})
                if (hash->algorithms() & algorithm)
                    out[FixityName(algorithm)] = hash->Hex(algorithm);
        }
    }
    return outcome;
}

}  // namespace cli
