-- Calls with 0, 1 and 3 parameters, the result kept and discarded (local
-- functions, Lua's fastest form of a call).
local function f0() return 1 end
local function f1(a) return a + 1 end
local function f3(a, b, c) return a + b - c end
local i, x = 0, 0
while i < 2000000 do  -- N
  f0()
  x = f0()
  f1(i)
  x = f1(i)
  f3(i, x, 2)
  x = f3(i, x, 2)
  i = i + 1
end
print(x)
