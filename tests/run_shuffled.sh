#!/bin/sh
# One shard of a test program (GTEST_TOTAL_SHARDS and GTEST_SHARD_INDEX come from CTest), its
# tests shuffled with a seed of their own and run over again: run_shuffled.sh program repeat
# filter. It prints first the command that repeats this order.
program=$1 repeat=$2 filter=$3
seed=$(shuf -i 1-99999 -n 1)
echo "repeat with: GTEST_TOTAL_SHARDS=$GTEST_TOTAL_SHARDS GTEST_SHARD_INDEX=$GTEST_SHARD_INDEX" \
     "$program --gtest_shuffle --gtest_random_seed=$seed --gtest_repeat=$repeat" \
     "--gtest_filter='$filter'"
exec "$program" --gtest_shuffle --gtest_random_seed="$seed" --gtest_repeat="$repeat" \
     --gtest_brief=1 --gtest_filter="$filter"
