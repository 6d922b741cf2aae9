// Typings of lib/loop.js: the fixed-timestep clock and the frame runner.
import { SharedBuffers } from './buffers';
import { CommandWriter } from './commands';
import { HostEvent } from './events';
import { Graphics } from './graphics';
import { InputState } from './input';

/** Real seconds in, whole steps out, at most maxSteps per advance; the rest of a long stall dropped. */
export class FixedStep {
  /** step 1/60 s, maxSteps 5 by default. */
  constructor(options?: { step?: number; maxSteps?: number });
  readonly step: number;
  readonly maxSteps: number;
  /** Time not yet run, under one step. */
  readonly accumulated: number;
  /** accumulated / step: how far between the last two states to draw. */
  readonly alpha: number;
  /** Steps answered so far. */
  readonly steps: number;
  /** Seconds dropped by the cap. */
  readonly dropped: number;
  /** Adds a frame's seconds; answers the steps to run now. */
  advance(seconds: number): number;
  reset(): void;
}

export interface Loop {
  readonly frame: number;
  readonly steps: number;
  /** Simulated seconds: steps times step. */
  readonly time: number;
  readonly alpha: number;
  readonly dropped: number;
  /** The last frame's seconds. */
  readonly frameTime: number;
  readonly step: number;
  readonly stopped: boolean;
  stop(): void;
}
export interface LoopOptions {
  step?: number;
  maxSteps?: number;
  /** Once per fixed step. */
  update?: (dt: number, loop: Loop) => void;
  /** Once per frame, after the steps. */
  draw?: (alpha: number, loop: Loop) => void;
  /** Poll and decode the events each frame. */
  buffers?: SharedBuffers;
  /** Fed the events; endStep() after each step. */
  input?: InputState;
  onEvent?: (event: HostEvent, loop: Loop) => void;
  /** tick() after draw. */
  commands?: CommandWriter;
  /** render() after the commands. */
  gfx?: Graphics;
  /** Stop after this many frames (0, default: no limit). */
  frames?: number;
  /** false: exactly one step per frame (repeatable runs). Default true. */
  realTime?: boolean;
  /** Seconds: sleep out the rest of a shorter frame. Default 0. */
  minFrameTime?: number;
  /** Stop after the frame that read a quit request. Default true. */
  stopOnQuit?: boolean;
  /** Seconds; default performance.now() / 1000. */
  now?: () => number;
}
/** Runs frames until stop(), a quit request or `frames`; call it inside startTicking's main function. */
export function runLoop(options: LoopOptions): Loop;
