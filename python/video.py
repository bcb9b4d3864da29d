# Whole videos from Python: the flows of consecutive frames, yielded or written as flow_video
# writes them. The build embeds this file in the module, which runs it at import into its own
# namespace (so dense_motion, list_frames, read_frame and write_flo are the module's).
import collections as _collections
import inspect as _inspect
import os as _os
import sys as _sys
import tempfile as _tempfile

VideoFlow = _collections.namedtuple("VideoFlow", "index name next_name forward backward")
VideoFlow.__doc__ = """One pair of a video: index (0-based) and name of its first frame, the
name of the frame `step` later, the flow to that frame, and the flow back from it (None unless
asked)."""


def _whole_number(value, name, lowest):
    text = f"{name} must be a whole number of {lowest} or more."
    if isinstance(value, bool) or not hasattr(value, "__index__"):
        raise TypeError(text)
    value = value.__index__()
    if value < lowest:
        raise ValueError(text)
    return value


def _require_reader():
    if "read_frame" not in globals():
        raise RuntimeError("this build of motionseg reads no image files (it was built without "
                           "libpng and libjpeg): pass the frames as arrays")


def _frame_source(frames):
    """(names, frames, count): a folder or a list file through list_frames and read_frame, or
    any iterable of arrays or paths. count is None when the iterable has no length."""
    if isinstance(frames, (str, bytes, _os.PathLike)):
        _require_reader()
        paths = list_frames(frames)
        names = [_os.path.splitext(_os.path.basename(p))[0] for p in paths]
        return names, (read_frame(p) for p in paths), len(paths)
    try:
        count = len(frames)
    except TypeError:
        count = None

    def items():
        for frame in frames:
            if isinstance(frame, (str, bytes, _os.PathLike)):
                _require_reader()
                frame = read_frame(frame)
            yield frame

    return None, items(), count


class _Progress:
    """A tqdm bar on standard error when tqdm is installed, else one line per pair."""

    def __init__(self, total):
        self.total, self.done, self.bar = total, 0, None
        try:
            import tqdm
            self.bar = tqdm.tqdm(total=total, unit="pair", desc="flow", file=_sys.stderr)
        except ImportError:
            pass

    def step(self, name):
        self.done += 1
        if self.bar is not None:
            self.bar.set_postfix_str(name, refresh=False)
            self.bar.update(1)
        else:
            of = f"/{self.total}" if self.total is not None else ""
            print(f"flow: pair {self.done}{of} ({name})", file=_sys.stderr, flush=True)

    def close(self):
        if self.bar is not None:
            self.bar.close()


# The flow's defaults as dense_motion has them (one record in the C++ library).
_DEFAULT = {name: parameter.default
            for name, parameter in _inspect.signature(dense_motion).parameters.items()}


def video_flows(frames, step=1, backward=False, progress=False, sigma=_DEFAULT["sigma"],
                alpha=_DEFAULT["alpha"], beta=_DEFAULT["beta"], gamma=_DEFAULT["gamma"],
                threads=None):
    """The dense flows of a whole video, pair by pair: frame i with frame i + step.

    frames: a folder of PNG or JPEG frames or a text file listing them (the order and reading
        of flow_video, see list_frames and read_frame), or any iterable of frames: H x W x C
        arrays as dense_motion takes them, or paths of image files. Frames are taken one at a
        time, and each is read or converted once, whatever step and backward; with step 1 each
        frame's presmoothing and descriptors are computed once for the two pairs it is in.
    step: the distance of the pairs (1 or more).
    backward: also the flow from frame i + step back to frame i.
    progress: a progress bar on standard error (tqdm's when installed, else one line per
        pair).
    sigma, alpha, beta, gamma, threads: as for dense_motion.

    Returns an iterator of VideoFlow(index, name, next_name, forward, backward): index is the
    0-based position of the pair's first frame, name its file name without extension (for a
    folder or a list) or its 1-based number with six digits ("000001"), next_name that of the
    second frame, forward the H x W x 2 float32 flow from the first frame to the second,
    backward the flow from the second back to the first, or None. The flows are those of flow_video, bit for bit.

    Raises TypeError or ValueError at once for a bad step, and as dense_motion does at the pair
    where a frame is refused.

    Example:
        >>> for pair in motionseg.video_flows("video/frames", progress=True):
        ...     motionseg.write_flo(f"flow/{pair.name}.flo", pair.forward)
    """
    step = _whole_number(step, "step", 1)
    names, items, count = _frame_source(frames)
    total = None if count is None else max(0, count - step)
    parameters = dict(sigma=sigma, alpha=alpha, beta=beta, gamma=gamma, threads=threads)

    def pairs():
        window = _collections.deque()
        bar = _Progress(total) if progress else None
        # Each frame is prepared once for the pair it ends and the pair it starts (and for both
        # directions), as flow_video does; made at the first pair, where dense_motion would
        # have checked the parameters.
        video = None
        try:
            for position, frame in enumerate(items):
                window.append(frame)
                if len(window) <= step:
                    continue
                first, second = window[0], window[-1]
                index = position - step
                name, next_name = ((names[index], names[position]) if names is not None else
                                   (f"{index + 1:06d}", f"{position + 1:06d}"))
                if video is None:
                    video = _VideoFlows(**parameters)
                video.add(index, first, position, True)
                video.add(position, second, index, False)
                forward = video.flow(index, position)
                back = video.flow(position, index) if backward else None
                window.popleft()
                if bar is not None:
                    bar.step(name)
                yield VideoFlow(index, name, next_name, forward, back)
        finally:
            del video
            if bar is not None:
                bar.close()

    return pairs()


def write_video_flows(frames, folder, step=1, backward=False, progress=False,
                      sigma=_DEFAULT["sigma"], alpha=_DEFAULT["alpha"], beta=_DEFAULT["beta"],
                      gamma=_DEFAULT["gamma"], threads=None):
    """Writes the flows of a whole video into folder, named as flow_video names them.

    For each pair of frames NAME and NEXT, NEXT the frame `step` later (see video_flows for
    frames, names and the other arguments): NAME.flo, the flow from NAME to NEXT, and with
    backward NEXT.back.flo, the flow from NEXT back to NAME; byte for byte flow_video's files
    for the same frames and settings.
    The folder is created when missing. Every file is written under a temporary name in the
    folder and renamed into place when complete, so a file is never seen partial.

    Returns the list of paths written, in order.

    Example:
        >>> motionseg.write_video_flows("video/frames", "video/flow", progress=True)
    """
    pairs = video_flows(frames, step=step, backward=backward, progress=progress, sigma=sigma,
                        alpha=alpha, beta=beta, gamma=gamma, threads=threads)
    _os.makedirs(folder, exist_ok=True)
    written = []
    for pair in pairs:
        for name, flow in ((pair.name + ".flo", pair.forward),
                           (pair.next_name + ".back.flo", pair.backward)):
            if flow is None:
                continue
            path = _os.path.join(folder, name)
            handle, temporary = _tempfile.mkstemp(dir=folder, prefix="." + name + ".",
                                                  suffix=".flo")
            _os.close(handle)
            try:
                write_flo(temporary, flow)
                _os.replace(temporary, path)
            except BaseException:
                _os.unlink(temporary)
                raise
            written.append(path)
    return written
