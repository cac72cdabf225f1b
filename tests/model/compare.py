#!/usr/bin/env python3
"""Plays bot games, runs each script through pixbrk-headless and through the rules model, and
compares the two traces frame by frame. Stops a game at its first differing frame and prints
the key with both values and the frames around it.

Usage:
  compare.py --runner PATH --pack ROMDATA.BIN [--seeds 0,1,2] [--fuzz-seeds 0,1] [--frames N]
             [--script FILE] [--keep DIR] [--coverage] [--self-check]
Exit status 0 when every game matches (and, with --coverage, every listed situation occurred).
"""

import argparse
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import bot  # noqa: E402
import model  # noqa: E402

CONTEXT_KEYS = ['scene', 'round', 'scene_timer', 'frame_counter', 'touch_pressed', 'touch_x',
                'touch_released', 'paddle_x', 'ball_x', 'ball_y', 'ball_vx', 'ball_vy', 'game_over',
                'bomb_active', 'bomb_x', 'bomb_y', 'alive_count', 'rng']


def first_difference(mine, theirs):
    """(key, detail) of the first differing key, or None."""
    for key, mv in mine.items():
        if key not in theirs:
            return key, 'missing from the runner trace'
        tv = theirs[key]
        if mv == tv:
            continue
        if isinstance(mv, list) and isinstance(tv, list) and len(mv) == len(tv):
            for i, (a, b) in enumerate(zip(mv, tv)):
                if a != b:
                    return key, '[%d] model %s  runner %s' % (i, a, b)
        return key, 'model %s  runner %s' % (mv, tv)
    return None


class Coverage:
    """Situations seen in the model's frames, counted from consecutive traces."""

    NAMES = ['serve by release', 'automatic serve', 'wall bounce', 'ceiling bounce', 'paddle bounce',
             'alien destroyed', 'armour hit', 'bomb shot down', 'bomb on paddle', 'item caught',
             'ball lost', 'floor barrier break', 'round clear with bonus', 'round 3 reached',
             'round 5 reached', 'escape mid-game', 'playback frame', 'playback abandoned',
             'march drop', 'game over sequence ended', 'ending reached', 'replay ended after round 5',
             'escape outside play', 'alien reaches the paddle']

    def __init__(self):
        self.seen = dict.fromkeys(self.NAMES, 0)

    def add(self, p, t, event):
        s = self.seen
        if p['scene'] == 2 and t['scene'] == 2:
            if p['ball_vx'] == 0 and p['ball_vy'] == 0 and t['ball_vy'] < 0 and p['ball_y'] < 320:
                s['serve by release' if t['scene_timer'] <= 60 else 'automatic serve'] += 1
            if p['ball_vx'] == -t['ball_vx'] != 0 and t['ball_x'] in (8, 224):
                s['wall bounce'] += 1
            if p['ball_vy'] < 0 < t['ball_vy'] and t['ball_y'] == 24:
                s['ceiling bounce'] += 1
            if p['ball_vy'] > 0 > t['ball_vy'] and 255 <= t['ball_y'] < 280 and p['floor_present'] == t['floor_present']:
                s['paddle bounce'] += 1
            if t['floor_present'] < p['floor_present'] and t['scene'] == 2:
                s['floor barrier break'] += 1
            killed = sum(1 for a, b in zip(p['aliens'], t['aliens']) if a[0] != 0 and b[0] == 0)
            s['alien destroyed'] += killed
            s['armour hit'] += sum(1 for a, b in zip(p['aliens'], t['aliens']) if b[0] != 0 and b[1] < a[1])
            if p['bomb_active'] and not t['bomb_active'] and t['bomb_y'] <= 320:
                if t['game_over'] and not p['game_over']:
                    s['bomb on paddle'] += 1
                elif t['explosion_next'] != p['explosion_next']:
                    s['bomb shot down'] += 1
            s['item caught'] += t['items_caught'] - p['items_caught'] if t['items_caught'] > p['items_caught'] else 0
            if t['game_over'] and not p['game_over'] and t['ball_y'] < 320 and \
                    (t['bomb_active'] or not p['bomb_active']):
                s['alien reaches the paddle'] += 1
            if p['ball_y'] < 320 and t['ball_y'] == 320:
                s['ball lost'] += 1
            if any(b[4] == a[4] + 8 for a, b in zip(p['aliens'], t['aliens']) if a[0] and b[0]):
                s['march drop'] += 1
            if t['playback']:
                s['playback frame'] += 1
        if p['scene'] == 3 and p['round_bonus'] > 0 and t['round_bonus'] < p['round_bonus']:
            s['round clear with bonus'] += 1
        if t['scene'] == 2 and t['round'] >= 3:
            s['round 3 reached'] += 1
        if t['scene'] == 2 and t['round'] == 5:
            s['round 5 reached'] += 1
        if event == 'esc' and p['scene'] == 2:
            s['escape mid-game'] += 1
        if p['scene'] == 2 and p['playback'] and t['scene'] == 0 and p['game_over_timer'] == 0:
            s['playback abandoned'] += 1
        if p['scene'] == 3 and t['scene'] == 4:
            s['ending reached'] += 1
        if p['scene'] == 3 and p['playback'] and t['scene'] == 0:
            s['replay ended after round 5'] += 1
        if event == 'esc' and p['scene'] != 2:
            s['escape outside play'] += 1
        if p['scene'] == 2 and p['game_over_timer'] == 199:
            s['game over sequence ended'] += 1

    def missing(self):
        return [n for n in self.NAMES if self.seen[n] == 0]

    def report(self):
        return ', '.join('%s %d' % (n, c) for n, c in self.seen.items())


STAMP = re.compile(rb'[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}')
PLACEHOLDER = b'----/--/-- --:--'


def check_files(m, rundir):
    """Compares SCORE.DAT and the replay files the runner left with what the model wrote.
    Returns a list of differences."""
    out = []
    path = os.path.join(rundir, 'SCORE.DAT')
    if m.score_file is None:
        if os.path.exists(path):
            out.append('SCORE.DAT written, the model never writes it')
    elif not os.path.exists(path):
        out.append('SCORE.DAT missing')
    else:
        data = open(path, 'rb').read()
        scores, dated, mute, guide, floor = m.score_file
        if len(data) != 332:
            out.append('SCORE.DAT has %d bytes' % len(data))
        else:
            for k in range(16):
                date, score = data[20 * k:20 * k + 16], struct.unpack_from('<I', data, 20 * k + 16)[0]
                if score != scores[k]:
                    out.append('SCORE.DAT entry %d: score %d, model %d' % (k + 1, score, scores[k]))
                if (STAMP.fullmatch(date) is not None) != dated[k] or (not dated[k] and date != PLACEHOLDER):
                    out.append('SCORE.DAT entry %d: date %r, model %s' % (k + 1, date, 'stamp' if dated[k] else 'placeholder'))
            if tuple(data[328:331]) != (mute, guide, floor):
                out.append('SCORE.DAT settings %s, model %s' % (tuple(data[328:331]), (mute, guide, floor)))
    for s in range(1, 17):
        path = os.path.join(rundir, 'PIXBRK%02d.REP' % s)
        f = m.files.get(s)
        if f is None:
            if os.path.exists(path):
                out.append('%s written, the model never saved slot %d' % (os.path.basename(path), s))
            continue
        if not os.path.exists(path):
            out.append('%s missing' % os.path.basename(path))
            continue
        data = open(path, 'rb').read()
        h, recs = f
        want = bytearray(32)
        want[0:16] = data[0:16]  # the date text is checked for its shape only
        struct.pack_into('<IIBB', want, 16, h.frames, h.score, h.guide, h.floor)
        for i in range(h.frames):
            want += struct.pack('<HHHHBBH', *recs.get(i, (0, 0, 0, 0, 0, 0)), 0)
        if (STAMP.fullmatch(data[0:16]) is not None) != h.dated:
            out.append('%s: date text %r, model %s' % (os.path.basename(path), data[0:16], 'stamp' if h.dated else 'none'))
        if bytes(want) != data:
            n = next((i for i in range(min(len(want), len(data))) if want[i] != data[i]), min(len(want), len(data)))
            out.append('%s: %d bytes, model %d; first difference at byte %d (record %d)' %
                       (os.path.basename(path), len(data), len(want), n, (n - 32) // 12 if n >= 32 else -1))
    return out


class ScoreSlip(model.Model):
    """The model with one deliberate fault: the first alien destroyed scores one ten too many."""

    def combo_count(self, kind, x, y):
        super().combo_count(kind, x, y)
        if not getattr(self, 'slipped', False):
            self.slipped = True
            self.score += 1


class RecordSlip(model.Model):
    """The model with one deliberate fault: record 20 of a recording keeps a wrong dy."""

    def replay_hook(self):
        ended = super().replay_hook()
        n = self.header.frames - 1
        if not self.playback and n == 20:
            x, y, dx, dy, p, r = self.records[n]
            self.records[n] = (x, y, dx, (dy + 1) & 0xFFFF, p, r)
        return ended


def compare_script(script_path, runner, pack, workdir, frames, coverage, model_class=model.Model):
    """Returns (ok, message)."""
    with open(script_path) as f:
        events = model.parse_script(f.read())
    rundir = os.path.join(workdir, 'run')
    shutil.rmtree(rundir, ignore_errors=True)
    os.makedirs(rundir)
    shutil.copy(pack, os.path.join(rundir, 'ROMDATA.BIN'))
    trace_path = os.path.join(workdir, 'trace.jsonl')
    cmd = [runner, '--dir', rundir, '--script', os.path.abspath(script_path), '--trace', trace_path]
    if frames is not None:
        cmd += ['--frames', str(frames)]
    proc = subprocess.run(cmd, capture_output=True, text=True)
    if proc.returncode != 0:
        return False, 'runner failed (%d): %s%s' % (proc.returncode, proc.stdout, proc.stderr)
    summary = proc.stdout.strip().splitlines()[-1] if proc.stdout.strip() else ''

    history = []
    prev = None
    n = 0
    m_last = None
    m = model_class()
    with open(trace_path) as tf:
        for mine in model.run_script(events, frames, m=m):
            line = tf.readline()
            if not line:
                return False, 'frame %d: the runner trace ends here, the model goes on' % mine['frame']
            theirs = json.loads(line)
            diff = first_difference(mine, theirs)
            if diff is not None:
                key, detail = diff
                ctx = ['frame %d: first difference in %s: %s' % (mine['frame'], key, detail)]
                ctx.append('  script event of this frame: %s' % (events[mine['frame']],))
                for old_m, old_t in history[-3:] + [(mine, theirs)]:
                    ctx.append('  frame %d model : %s' % (old_m['frame'], {k: old_m[k] for k in CONTEXT_KEYS}))
                    ctx.append('  frame %d runner: %s' % (old_t['frame'], {k: old_t.get(k) for k in CONTEXT_KEYS}))
                return False, '\n'.join(ctx)
            if coverage is not None and prev is not None:
                coverage.add(prev, mine, events[mine['frame']][0])
            history.append((mine, theirs))
            del history[:-3]
            prev = mine
            m_last = mine
            n += 1
        extra = tf.readline()
        if extra:
            return False, 'the runner trace has more frames than the model (%d)' % n
    if m_last is not None:
        expect = 'frames %d  scene %d  score %d  hi_score %d  round %d' % (  # scores in points
            n, m_last['scene'], m_last['score'] * 10, m_last['hi_score'] * 10, m_last['round'])
        if summary != expect:
            return False, 'summary differs: model "%s"  runner "%s"' % (expect, summary)
    files = check_files(m, rundir)
    if files:
        return False, 'files differ: ' + '; '.join(files)
    return True, '%d frames match; %s' % (n, summary)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--runner', required=True)
    ap.add_argument('--pack', required=True)
    ap.add_argument('--seeds', default='0,1,2,3,4,5')
    ap.add_argument('--frames', type=int, default=None)
    ap.add_argument('--bot-frames', type=int, default=60000)
    ap.add_argument('--fuzz-seeds', default='', help='random-event scripts of --fuzz-frames frames')
    ap.add_argument('--fuzz-frames', type=int, default=10000)
    ap.add_argument('--script', action='append', default=[])
    ap.add_argument('--keep', default=None, help='keep scripts and traces in this directory')
    ap.add_argument('--coverage', action='store_true', help='fail unless every situation occurred')
    ap.add_argument('--self-check', action='store_true',
                    help='compare the first game against two deliberately faulty models; '
                         'succeed only if both faults are reported')
    args = ap.parse_args()

    if not os.path.exists(args.pack):
        print('no pack at %s' % args.pack)
        return 1
    workdir = args.keep or tempfile.mkdtemp(prefix='pixbrk-model-')
    os.makedirs(workdir, exist_ok=True)
    cov = Coverage()
    ok_all = True
    jobs = [(p, p) for p in args.script]
    for seed in [int(s) for s in args.seeds.split(',') if s.strip()]:
        b = bot.run_bot(seed, args.bot_frames)
        path = os.path.join(workdir, 'bot%d.txt' % seed)
        with open(path, 'w') as f:
            f.write('# bot seed %d\n' % seed)
            f.write(b.script())
        jobs.append(('seed %d' % seed, path))
    for seed in [int(s) for s in args.fuzz_seeds.split(',') if s.strip()]:
        b = bot.run_fuzz(seed, args.fuzz_frames)
        path = os.path.join(workdir, 'fuzz%d.txt' % seed)
        with open(path, 'w') as f:
            f.write('# fuzz seed %d\n' % seed)
            f.write(b.script())
        jobs.append(('fuzz %d' % seed, path))
    if args.self_check:
        caught = 0
        for cls in (ScoreSlip, RecordSlip):
            ok, msg = compare_script(jobs[0][1], args.runner, args.pack, workdir, args.frames, None, cls)
            print('%s with %s: %s' % (jobs[0][0], cls.__name__, msg.splitlines()[0]))
            caught += 0 if ok else 1
        if not args.keep:
            shutil.rmtree(workdir, ignore_errors=True)
        return 0 if caught == 2 else 1
    for name, path in jobs:
        ok, msg = compare_script(path, args.runner, args.pack, workdir, args.frames, cov)
        print('%s: %s' % (name, msg))
        sys.stdout.flush()
        ok_all = ok_all and ok
    print('coverage: ' + cov.report())
    if args.coverage and cov.missing():
        print('never happened: ' + ', '.join(cov.missing()))
        ok_all = False
    if not args.keep:
        shutil.rmtree(workdir, ignore_errors=True)
    return 0 if ok_all else 1


if __name__ == '__main__':
    sys.exit(main())
