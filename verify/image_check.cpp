#include "verify/image_check.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "platform/platform.h"
#include "platform/threads.h"

namespace {

// The file is read in blocks of this many sectors (602,112 bytes, so that a
// block just read is still in the core's second-level cache when the first
// job takes it), into a ring of this many blocks: a job may run that far
// ahead of the slowest one.
constexpr size_t block_sectors = 256;
constexpr size_t block_bytes = block_sectors * raw_sector_size;
constexpr size_t ring_blocks = 16;

// One job of the pass: a hash, or (without one) the sector check.
struct Job {
    std::optional<FileHash> hash;
    uint64_t next = 0;  // the block it takes next
    bool busy = false;
};

struct Block {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

// The state the threads share; everything but the blocks' bytes and the
// running jobs' own state is under the group's lock. A block's slot is filled
// again only once every job has taken it, and a job is run by one thread at a
// time.
struct Pass {
    std::vector<Block> ring = std::vector<Block>(ring_blocks);
    std::vector<Job> jobs;
    RawSectorChecker checker;
    uint64_t blocks = 0;  // in the file
    uint64_t read = 0;    // read so far
    bool quit = false;    // stopped or failed: every thread leaves

    uint64_t oldest_needed() const
    {
        uint64_t oldest = read;
        for (const Job& job : jobs)
            oldest = std::min(oldest, job.next);
        return oldest;
    }
    bool ring_has_room() const { return read < blocks && read - oldest_needed() < ring_blocks; }
    bool all_done() const
    {
        return read == blocks &&
               std::all_of(jobs.begin(), jobs.end(), [this](const Job& j) { return j.next == blocks; });
    }
    // The job that can run now and is furthest behind (the first of such on
    // a tie), or none.
    Job* ready_job()
    {
        Job* best = nullptr;
        for (Job& job : jobs)
            if (!job.busy && job.next < read && (!best || job.next < best->next))
                best = &job;
        return best;
    }
    // Runs the job on its next block, the lock let go meanwhile.
    void run(Job& job, platform::ThreadGroup& group, platform::GroupLock& lock)
    {
        job.busy = true;
        const Block& block = ring[job.next % ring_blocks];
        lock.unlock();
        if (job.hash)
            job.hash->update(block.data.get(), block.size);
        else
            check_raw_sectors(checker, block.data.get(), block.size / raw_sector_size);
        lock.lock();
        job.busy = false;
        ++job.next;
        group.notify_all();
    }
    // What a helper thread does: any job that can run, until all are done.
    void work(platform::ThreadGroup& group, unsigned who)
    {
        platform::GroupLock lock(group);
        while (!quit && !all_done()) {
            if (Job* job = ready_job())
                run(*job, group, lock);
            else
                group.wait(who);
        }
    }
};

// Tells the helpers to leave and waits for them, whatever ended the pass.
struct Helpers {
    Pass& pass;
    platform::ThreadGroup& group;
    ~Helpers()
    {
        {
            platform::GroupLock lock(group);
            pass.quit = true;
            group.notify_all();
        }
        group.join();
    }
};

unsigned threads_to_use(unsigned asked, size_t jobs)
{
    const unsigned cores = asked ? asked : platform::processor_count();
    return unsigned(std::max<size_t>(1, std::min<size_t>(cores, jobs)));
}

}  // namespace

ImageFileCheck check_image_file(const char* path, const ImageFileCheckOptions& options)
{
    ImageFileCheck result;
    platform::File in = platform::open_for_reading(path);
    if (!in.valid() || !platform::file_size(in, result.size)) {
        result.error = "cannot open: " + platform::last_error_text();
        return result;
    }
    Pass pass;
    for (HashKind kind : options.hashes) {
        Job& job = pass.jobs.emplace_back();
        job.hash.emplace(kind);
        if (!job.hash->failure().empty()) {
            result.error = std::string("cannot compute the ") + hash_label(kind) + ": " + job.hash->failure();
            return result;
        }
    }
    if (options.tracks)
        pass.checker.tracks = *options.tracks;
    pass.blocks = (result.size + block_bytes - 1) / block_bytes;

    auto stop_asked = [&options] { return options.stop && *options.stop; };
    // Reads a block into its slot (the lock is not held).
    auto read_block = [&](Block& block, uint64_t index) {
        if (!block.data)
            block.data.reset(new uint8_t[block_bytes]);
        const uint64_t at = index * block_bytes;
        block.size = size_t(std::min<uint64_t>(block_bytes, result.size - at));
        const int64_t got = platform::read_full(in, block.data.get(), block.size);
        if (got == int64_t(block.size))
            return true;
        result.error =
            "reading failed at byte " + std::to_string(at) + ": " + platform::short_read_text(got, block.size);
        return false;
    };

    // The first block shows the image's form, and with it whether the
    // sectors are checked.
    if (pass.blocks > 0) {
        if (stop_asked()) {
            result.stopped = true;
            return result;
        }
        if (!read_block(pass.ring[0], 0))
            return result;
        pass.read = 1;
        result.form = options.tracks && result.size >= raw_sector_size
                          ? ImageForm::raw
                          : image_form_of(pass.ring[0].data.get(), pass.ring[0].size, result.size);
        if (result.form == ImageForm::raw)
            pass.jobs.emplace_back();
    }

    platform::ThreadGroup group(threads_to_use(options.threads, pass.jobs.size()) - 1);
    const Helpers helpers{pass, group};
    group.start([&pass, &group](unsigned who) { pass.work(group, who); });
    const bool alone = group.started() == 0;
    // This thread reads whenever the ring has room (alone, only when no job
    // can run, so that each block is checked and hashed while it is still in
    // the cache), and otherwise runs jobs too.
    {
        platform::GroupLock lock(group);
        while (!pass.all_done()) {
            if (stop_asked()) {
                result.stopped = true;
                return result;  // the helpers leave with `helpers`
            }
            Job* job = pass.ready_job();
            if (pass.ring_has_room() && (!alone || !job)) {
                const uint64_t index = pass.read;
                lock.unlock();
                const bool ok = read_block(pass.ring[index % ring_blocks], index);
                lock.lock();
                if (!ok)
                    return result;
                ++pass.read;
                group.notify_all();
            } else if (job)
                pass.run(*job, group, lock);
            else
                group.wait(0);
        }
    }

    if (result.form == ImageForm::raw) {
        result.sectors = pass.checker.summary;
        result.sectors.tail_bytes = result.size % raw_sector_size;
    }
    if (!options.hashes.empty()) {
        for (Job& job : pass.jobs)
            if (job.hash) {
                result.hashes.at(job.hash->kind()) = job.hash->finish();
                if (result.hashes.at(job.hash->kind()).empty()) {
                    result.error =
                        std::string("cannot compute the ") + hash_label(job.hash->kind()) + ": " + job.hash->failure();
                    return result;
                }
            }
        result.hashed = true;
    }
    return result;
}

bool check_raw_image_file(const char* path, std::string& report)
{
    const ImageFileCheck check = check_image_file(path);
    if (!check.error.empty()) {
        report = check.error + "\n";
        return false;
    }
    if (check.form != ImageForm::raw) {
        report = "not an image of 2352-byte sectors: no sync pattern at its first sector starts\n";
        return false;
    }
    report = raw_check_text(check.sectors);
    return check.sectors.clean();
}
