-- A two-dimensional array with computed subscripts, many times:
--   while (i < 100) { j = 0; while (j < 100) { g[i][j] = i + j; s += g[i][99 - j]; j++; } i++; }
-- A table of rows (as fast in Lua as one table with subscript i * 100 + j);
-- Lua arrays start at 1, so i and j run from 1.
local g = {}
for r = 1, 100 do
  local row = {}
  for c = 1, 100 do row[c] = 0 end
  g[r] = row
end
local s, k = 0, 0
while k < 500 do  -- N
  local i = 1
  while i <= 100 do
    local j = 1
    while j <= 100 do
      g[i][j] = i + j
      s = s + g[i][101 - j]
      j = j + 1
    end
    i = i + 1
  end
  k = k + 1
end
print(s)
