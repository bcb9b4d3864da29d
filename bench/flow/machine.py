"""The machine the flow comparisons run on (Linux): the processor and its vector extensions,
and the share of the processors' time the hypervisor gave to other guests during a run
(steal), without which the times of a virtual machine cannot be read: the peers' ratio
moves with the processor, and every time grows with the steal."""
import os

# The vector extensions that decide which of our kernels run, as /proc/cpuinfo names them.
VECTOR_FLAGS = ('sse2', 'sse4_2', 'avx', 'avx2', 'fma', 'avx512f', 'avx512dq', 'avx512bw',
                'avx512vl', 'avx512_vnni', 'avx512_bf16')


def processor():
    """'MODEL, N logical processors, vector extensions: ...' from /proc/cpuinfo."""
    model, flags = 'unknown processor', set()
    try:
        with open('/proc/cpuinfo') as f:
            for line in f:
                key, _, value = line.partition(':')
                key = key.strip()
                if key == 'model name' and model == 'unknown processor':
                    model = value.strip()
                elif key == 'flags' and not flags:
                    flags = set(value.split())
    except OSError:
        pass
    have = [x for x in VECTOR_FLAGS if x in flags] or ['unknown']
    return '%s, %d logical processors, vector extensions: %s' % (
        model, os.cpu_count() or 0, ' '.join(have))


def processor_times():
    """(all, stolen) clock ticks of every processor so far, from /proc/stat; None elsewhere."""
    try:
        with open('/proc/stat') as f:
            fields = f.readline().split()
    except OSError:
        return None
    # cpu user nice system idle iowait irq softirq steal [guest guest_nice]; the guests' time
    # is already counted in user and nice.
    if len(fields) < 9 or fields[0] != 'cpu':
        return None
    ticks = [int(x) for x in fields[1:9]]
    return sum(ticks), ticks[7]


def steal(before, after):
    """'steal N% of the processors' time' between two processor_times(), or ''."""
    if before is None or after is None or after[0] <= before[0]:
        return ''
    share = 100.0 * (after[1] - before[1]) / (after[0] - before[0])
    return 'steal %.0f%% of the processors\' time%s' % (
        share, ' (a busy host: not the times of a quiet machine)' if share >= 3 else '')
