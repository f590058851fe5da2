-- One-dimensional arrays with computed subscripts, many times:
--   while (i < 999) { a[i + 1] = a[i] + b[i * 2 % 1000]; b[i] = i; i++; }
-- Lua arrays start at 1: i runs from 1, and the modulo subscript gets 1 more.
local a, b = {}, {}
for k = 1, 1000 do a[k] = 0; b[k] = 0 end
local j = 0
while j < 5000 do  -- N
  local i = 1
  while i < 1000 do
    a[i + 1] = a[i] + b[i * 2 % 1000 + 1]
    b[i] = i
    i = i + 1
  end
  j = j + 1
end
print(a[1000])
