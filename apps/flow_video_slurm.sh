#!/bin/bash
# The flow of a whole video on a Slurm cluster: one array task per shard. flow_video takes its
# shard from the job array (SLURM_ARRAY_TASK_ID, SLURM_ARRAY_TASK_COUNT, SLURM_ARRAY_TASK_MIN),
# so every task runs the same command; the union of the tasks' files is the single run's.
#
#   sbatch --array=0-15 apps/flow_video_slurm.sh FRAMES OUT_FOLDER [flow_video options]
#
# Tasks share OUT_FOLDER (on a file system every node sees, where flock works across nodes:
# NFS does; Lustre needs its flock mount option). Submitting the same array again after a
# failure or a time limit resumes: each task skips its pairs recorded as done. Tasks of other
# flow_video options are refused while tasks of this array write to the folder.
# FLOW_VIDEO names the program when it is not on the PATH, e.g.
#   sbatch --array=0-15 --export=ALL,FLOW_VIDEO=$PWD/build/apps/flow_video apps/flow_video_slurm.sh ...
#
# --mem: a flow takes about 400 bytes per pixel (120 MB at 640x480); raise it for larger frames.
#SBATCH --job-name=flow_video
#SBATCH --cpus-per-task=1
#SBATCH --mem=4G
#SBATCH --time=04:00:00
#SBATCH --output=flow_video_%A_%a.log
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: sbatch --array=0-N $0 FRAMES OUT_FOLDER [flow_video options]" >&2
  exit 2
fi
# One flow thread per CPU Slurm gave the task.
exec "${FLOW_VIDEO:-flow_video}" --threads "${SLURM_CPUS_PER_TASK:-1}" "$@"
